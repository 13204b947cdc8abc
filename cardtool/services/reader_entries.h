// The library entry points the card tool calls, in the order they are bound.
// One list serves the binding table, the binding itself and the small test
// libraries that stand in for a broken reader library.
#pragma once

// clang-format off
#define OSKELLE_READER_ENTRIES(X) \
    X(lib_ver) X(des_encrypt) X(des_decrypt) X(rf_init_com) X(rf_init_net) X(rf_init_device_number) \
    X(rf_get_device_number) X(rf_get_model) X(rf_get_snr) X(rf_beep) X(rf_Reader_DigtalDisplay) \
    X(rf_Reader_FlashWrite) X(rf_Reader_FlashRead) X(rf_init_sam) X(rf_sam_rst) X(rf_sam_cos) \
    X(rf_init_sam_byid) X(rf_set_sam_pps_byid) X(rf_sam_rst_byid) X(rf_sam_cos_byid) X(rf_SAM_COS) \
    X(rf_SAM_InitBaudrate) X(rf_SAM_RST) X(rf_SAM_SetPPS) X(rf_init_type) X(rf_antenna_sta) X(rf_request) \
    X(rf_anticoll) X(rf_select) X(rf_halt) X(rf_download_key) X(rf_M1_authentication1) \
    X(rf_M1_authentication2) X(rf_M1_read) X(rf_M1_write) X(rf_M1_initval) X(rf_M1_readval) \
    X(rf_M1_decrement) X(rf_M1_increment) X(rf_M1_restore) X(rf_M1_transfer) X(rf_typea_rst) \
    X(rf_cos_command) X(rf_ISO14443_4_COS) X(rf_atqb) X(rf_attrib) X(rf_hltb) X(rf_at020_check) \
    X(rf_at020_read) X(rf_at020_write) X(rf_at020_lock) X(rf_at020_count) X(rf_at020_deselect) X(rf_light) \
    X(rf_free) X(rf_ClosePortVer5) X(rf_GetErrorMessage) X(rf_st_select) X(rf_st_completion) \
    X(rf_sr176_readblock) X(rf_sr176_writeblock) X(rf_sr176_protectblock) X(rf_sr176_getprotectreg) \
    X(rf_srix4k_readblock) X(rf_srix4k_writeblock) X(rf_srix4k_authenticate) X(rf_srix4k_getuid) \
    X(rf_ul_select) X(rf_ul_write) X(rf_srix4k_writelockreg) X(ISO15693_Inventory) X(ISO15693_Stay_Quiet) \
    X(ISO15693_Select) X(ISO15693_Reset_To_Ready) X(ISO15693_Read) X(ISO15693_Write) \
    X(ISO15693_Lock_Block) X(ISO15693_Write_AFI) X(ISO15693_Lock_AFI) X(ISO15693_Write_DSFID) \
    X(ISO15693_Lock_DSFID) X(ISO15693_Get_System_Information) X(ISO15693_Get_Block_Security) \
    X(rf_search_type_a) X(rf_iso14443_4_type_a_reset) X(rf_getlockcardinfo) \
    X(MFP_DataBlockAuthentication) X(MFP_FirstAuthentication) X(MFP_FollowingAuthentication) \
    X(MFP_L0CommitPerso) X(MFP_L0WritePerso) X(MFP_L3CommonRead) X(MFP_L3CommonWrite) \
    X(MFP_L3PurseBackup) X(MFP_L3PurseDecrement) X(MFP_L3PurseIncrement) X(MFP_L3PurseInitial) \
    X(MFP_L3PurseRead) X(MFP_L3ReadDataBlock) X(MFP_L3WriteDataBlock) X(MFP_SwitchToHighLevel) \
    X(rf_request_Identify) X(rf_sendcos_Identify) X(rf_sam_set_protocol_byid) X(rf_flash_read) \
    X(rf_flash_write) X(rf_anticollCLn) X(rf_ICODE1_Request) X(rf_ICODE1_Read) X(rf_ICODE1_Write) \
    X(rf_ICODE1_Halt)
// clang-format on
