-- Decodes the Varrok library's pcap frame trace (VARROK_TRACE=FILE.pcap with
-- VARROK_TRACE_FORMAT=pcap, or `varrok --trace FILE.pcap`). Each packet of
-- link type USER0 is: direction (0 host to reader, 1 reader to host), the
-- length of the reader's name, the name, then the frame as it went on the wire.
--
-- Use: wireshark -X lua_script:tools/wireshark/varrok.lua trace.pcap
--      tshark -X lua_script:tools/wireshark/varrok.lua -r trace.pcap -V

local varrok = Proto("varrok", "Varrok reader frame")

local commands = {
    [0x02] = "rf_Reader_SetID",
    [0x03] = "rf_Reader_GetID",
    [0x04] = "rf_Reader_GetFirmwareVer",
    [0x05] = "rf_Reader_GetSN",
    [0x06] = "rf_Reader_SetBeep",
    [0x07] = "rf_init_sam",
    [0x08] = "rf_sam_rst",
    [0x09] = "rf_sam_cos",
    [0x0A] = "rf_Reader_SetISOType",
    [0x0B] = "rf_Reader_SetAntenna",
    [0x0C] = "rf_ISO14443A_Request",
    [0x0D] = "rf_anticoll",
    [0x0E] = "rf_select",
    [0x0F] = "rf_ISO14443A_Halt",
    [0x10] = "rf_ISO14443A_GetCard",
    [0x11] = "rf_M1_AuthenticateByDownloadedKey",
    [0x12] = "rf_M1_Authentication",
    [0x13] = "rf_M1_Read",
    [0x14] = "rf_M1_Write",
    [0x15] = "rf_M1_PurseCreate",
    [0x16] = "rf_M1_PurseRead",
    [0x17] = "rf_M1_PurseDecrement",
    [0x18] = "rf_M1_PurseIncrement",
    [0x19] = "rf_M1_PurseRestore",
    [0x1A] = "rf_M1_PurseTransfer",
    [0x1B] = "rf_typea_rst",
    [0x1C] = "rf_ISO14443_4_COS",
    [0x1D] = "rf_ISO14443B_Request",
    [0x1E] = "rf_ISO14443B_Attribute",
    [0x1F] = "rf_ISO14443_4_TypeA_RATS",
    [0x20] = "rf_ISO14443B_Halt",
    [0x21] = "rf_AT88RF020_Check",
    [0x22] = "rf_AT88RF020_Read",
    [0x23] = "rf_AT88RF020_write",
    [0x24] = "rf_AT88RF020_Lock",
    [0x25] = "rf_AT88RF020_Count",
    [0x26] = "rf_AT88RF020_Deselect",
    [0x27] = "rf_Reader_SetLight",
    [0x28] = "rf_cl_deselect",
    [0x29] = "rf_ST_GetCard",
    [0x2A] = "rf_ST_Completion",
    [0x2B] = "rf_ST_SR176_ReadBlock",
    [0x2C] = "rf_ST_SR176_WriteBlock",
    [0x2D] = "rf_ST_SR176_ProtectBlock",
    [0x2E] = "rf_ST_SRI_ReadBlock",
    [0x2F] = "rf_ST_SRI_WriteBlock",
    [0x30] = "rf_ST_SRIX_Authenticate",
    [0x31] = "rf_ST_SRI_GetUID",
    [0x32] = "rf_ST_SRI_WriteLockReg",
    [0x34] = "rf_UltraLight_Write",
    [0x35] = "rf_Reader_SetAuthenticationStandard",
    [0x36] = "rf_UltraLightC_Authentication",
    [0x40] = "rf_ISO15693_Inventory",
    [0x41] = "rf_ISO15693_StayQuiet",
    [0x42] = "rf_ISO15693_Select",
    [0x43] = "rf_ISO15693_ResetToReady",
    [0x44] = "rf_ISO15693_Read",
    [0x45] = "rf_ISO15693_Write",
    [0x46] = "rf_ISO15693_LockBlock",
    [0x47] = "rf_ISO15693_WriteAFI",
    [0x48] = "rf_ISO15693_LockAFI",
    [0x49] = "rf_ISO15693_WriteDSFID",
    [0x4A] = "rf_ISO15693_LockDSFID",
    [0x4B] = "rf_ISO15693_GetSystemInfomation",
    [0x4C] = "rf_ISO15693_GetBlockSecurity",
    [0x4D] = "rf_ISO15693_MultiInventory",
    [0x60] = "rf_Reader_DigtalDisplay",
    [0x61] = "rf_Reader_FlashRead",
    [0x62] = "rf_Reader_FlashWrite",
    [0x66] = "rf_sam_rst_byid",
    [0x67] = "rf_sam_cos_byid",
    [0x68] = "rf_sam_rst_byid",
    [0x69] = "rf_sam_cos_byid",
    [0x6B] = "rf_sam_cos_byid",
    [0x6C] = "rf_init_sam_byid",
    [0x6D] = "rf_init_sam_byid",
    [0x6E] = "rf_init_sam_byid",
    [0x71] = "rf_MFP_L0CommitPerso",
    [0x72] = "rf_MFP_SwitchToHighLevel",
    [0x73] = "rf_MFP_DataBlockAuthentication",
    [0x74] = "rf_MFP_L3Read",
    [0x75] = "rf_MFP_L3Write",
    [0x76] = "rf_MFP_L3PurseCreate",
    [0x77] = "rf_MFP_L3PurseRead",
    [0x78] = "rf_MFP_L3PurseIncrement",
    [0x79] = "rf_MFP_L3PurseDecrement",
    [0x7A] = "rf_MFP_L3PurseBackup",
    [0x7B] = "rf_MFP_FirstAuthentication",
    [0x7C] = "rf_MFP_FollowingAuthentication",
    [0x80] = "rf_ISO14443A_Anticollision",
    [0x81] = "rf_ISO14443A_Select",
    [0x82] = "rf_M1_DownloadKeyToReader",
    [0x83] = "rf_ST_SR176_GetProtectReg",
    [0x84] = "rf_set_sam_pps_byid",
    [0x85] = "rf_set_sam_pps_byid",
    [0x86] = "rf_set_sam_pps_byid",
    [0x87] = "rf_set_sam_pps_byid",
    [0x88] = "rf_M1_MultiRead",
    [0x8A] = "rf_AT88RF020_MultiRead",
    [0x8B] = "rf_AT88RF020_MultiWrite",
    [0x8C] = "rf_ST_SR176_MultiRead",
    [0x8E] = "rf_ST_SRI_MultiRead",
    [0x90] = "rf_SAM_InitBaudrate",
    [0x91] = "rf_SAM_RST",
    [0x92] = "rf_SAM_SetPPS",
    [0x93] = "rf_SAM_COS",
    [0x94] = "rf_ISO14443A_AnticollisionAndSelect",
    [0x97] = "rf_ISO14443B_GetCard",
    [0xA0] = "rf_ICODE1_Request",
    [0xA1] = "rf_ICODE1_Read",
    [0xA2] = "rf_ICODE1_Write",
    [0xA3] = "rf_ICODE1_Halt",
    [0xB0] = "rf_DF_Authenticat",
    [0xB1] = "rf_DF_ChangeKeySettings",
    [0xB2] = "rf_DF_GetKeySetting",
    [0xB3] = "rf_DF_ChangeKey",
    [0xB4] = "rf_DF_GetKeyVer",
    [0xB5] = "rf_DF_CreateApp",
    [0xB6] = "rf_DF_DeletApp",
    [0xB7] = "rf_DF_GetAppIDs",
    [0xB8] = "rf_DF_SelectApp",
    [0xB9] = "rf_DF_FormatPICC",
    [0xBA] = "rf_DF_GetVer",
    [0xBB] = "rf_DF_GetFileIDs",
    [0xBC] = "rf_DF_GetFileSettings",
    [0xBD] = "rf_DF_ChangeFileSettings",
    [0xBE] = "rf_DF_CreateStdDataFile",
    [0xBF] = "rf_DF_CreateBackupDataFile",
    [0xC0] = "rf_DF_CreateValueFile",
    [0xC1] = "rf_DF_CreateLinearRecordFile",
    [0xC2] = "rf_DF_CreateCyclicRecordFile",
    [0xC3] = "rf_DF_DeleteFile",
    [0xC4] = "rf_DF_ReadData",
    [0xC5] = "rf_DF_WriteData",
    [0xC6] = "rf_DF_GetValue",
    [0xC7] = "rf_DF_Credit",
    [0xC8] = "rf_DF_Debit",
    [0xC9] = "rf_DF_LimitedCredit",
    [0xCA] = "rf_DF_WriteRecord",
    [0xCB] = "rf_DF_ReadRecord",
    [0xCC] = "rf_DF_ClearRecordFile",
    [0xCD] = "rf_DF_CommitTransaction",
    [0xCE] = "rf_DF_AbortTransaction",
    [0xE0] = "rf_USSEN",
    [0xFD] = "rf_IDCard_Request",
    [0xFE] = "rf_IDCard_COS",
    [0x70] = "rf_MFP_L0WritePerso/rf_AT88RF080_Request",
    [0x6A] = "rf_sam_rst_byid/rf_sam_set_protocol_byid",
    [0x89] = "rf_M1_MultiWrite/rf_ST_SR176_MultiWrite/rf_ST_SRI_MultiWrite",
}

local directions = { [0] = "host to reader", [1] = "reader to host" }
local f = varrok.fields
f.direction = ProtoField.uint8("varrok.direction", "Direction", base.DEC, directions)
f.reader = ProtoField.string("varrok.reader", "Reader")
f.length = ProtoField.uint8("varrok.length", "Length", base.DEC)
f.address = ProtoField.uint16("varrok.address", "Device address", base.HEX)
f.command = ProtoField.uint8("varrok.command", "Command", base.HEX, commands)
f.status = ProtoField.uint8("varrok.status", "Status", base.HEX)
f.data = ProtoField.bytes("varrok.data", "Data")
f.checksum = ProtoField.uint8("varrok.checksum", "Checksum", base.HEX)
local bad = ProtoExpert.new("varrok.bad", "Malformed frame", expert.group.MALFORMED, expert.severity.ERROR)
varrok.experts = { bad }

-- Every byte after the start bytes that equals AA is followed by a stuffing 00.
local function unstuff(raw)
    local out = ByteArray.new()
    local i = 0
    while i < raw:len() do
        local b = raw:get_index(i)
        out:append(ByteArray.new(string.format("%02X", b)))
        if i >= 2 and b == 0xAA then i = i + 1 end
        i = i + 1
    end
    return out
end

function varrok.dissector(buffer, pinfo, tree)
    if buffer:len() < 2 then return 0 end
    local direction = buffer(0, 1):uint()
    local nameLength = buffer(1, 1):uint()
    if buffer:len() < 2 + nameLength then return 0 end
    pinfo.cols.protocol = "Varrok"
    local subtree = tree:add(varrok, buffer(), "Varrok reader frame")
    subtree:add(f.direction, buffer(0, 1))
    subtree:add(f.reader, buffer(2, nameLength))
    if buffer:len() == 2 + nameLength then
        subtree:add_proto_expert_info(bad, "no bytes (the reader stayed silent)")
        pinfo.cols.info = directions[direction] .. ": nothing"
        return buffer:len()
    end
    local plain = unstuff(buffer(2 + nameLength):bytes()):tvb("Un-stuffed frame")
    if plain:len() < 8 or plain(0, 2):uint() ~= 0xAABB then
        subtree:add_proto_expert_info(bad, "too short, or no AA BB start")
        return buffer:len()
    end
    local length = plain(2, 1):uint()
    subtree:add(f.length, plain(2, 1))
    if direction == 0 then
        subtree:add(f.address, plain(4, 2))
    else
        subtree:add_le(f.address, plain(4, 2)) -- an answer carries the low byte first
    end
    local command = plain(6, 1):uint()
    subtree:add(f.command, plain(6, 1))
    local body = 7
    if direction == 1 then
        subtree:add(f.status, plain(7, 1))
        body = 8
    end
    local last = 3 + length -- offset of the checksum: the length counts from the address on
    if last > plain:len() - 1 then
        subtree:add_proto_expert_info(bad, "the frame is shorter than its length byte says")
        last = plain:len() - 1
    end
    if last > body then subtree:add(f.data, plain(body, last - body)) end
    subtree:add(f.checksum, plain(last, 1))
    local name = commands[command] or string.format("command %02X", command)
    if direction == 0 then
        pinfo.cols.info = "-> " .. name
    else
        pinfo.cols.info = string.format("<- %s status %02X", name, plain(7, 1):uint())
    end
    return buffer:len()
end

DissectorTable.get("wtap_encap"):add(wtap.USER0, varrok)
