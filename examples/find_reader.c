/* Opens a reader and prints what it finds: the reader's identity and the
 * cards in its field. Usage: find_reader "TCP://127.0.0.1:4000" | "COM3:115200" */
#include <stdio.h>
#include <string.h>

#include "varrok.h"

static void print_hex(const char* label, const unsigned char* bytes, int n) {
    printf("%-20s", label);
    for (int i = 0; i < n; ++i) printf("%02X ", bytes[i]);
    printf("\n");
}

static void print_text(const char* label, const unsigned char* bytes, int n) {
    printf("%-20s\"", label);
    for (int i = 0; i < n; ++i) putchar(bytes[i] >= 32 && bytes[i] < 127 ? bytes[i] : '.');
    printf("\"\n");
}

static void show_reader(void) {
    unsigned short id = 0;
    unsigned char version[2], serial[8];
    int rc = rf_Reader_GetID(0, &id);
    if (rc == 0) printf("%-20s%04X\n", "device address", id);
    else printf("%-20serror %d\n", "device address", rc);
    if ((rc = rf_Reader_GetFirmwareVer(0, version)) == 0) print_hex("firmware version", version, 2);
    else printf("%-20serror %d\n", "firmware version", rc);
    if ((rc = rf_Reader_GetSN(0, serial)) == 0) print_text("serial number", serial, 8);
    else printf("%-20serror %d\n", "serial number", rc);
}

/* A MIFARE Classic card with the transport keys: read sector 1. */
static void read_classic_sector(void) {
    unsigned char key[6] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, block[16], value[4];
    int rc = rf_M1_Authentication(0, 0x60, 4, key);
    if (rc != 0) {
        printf("  sector 1: authentication error %d\n", rc);
        return;
    }
    if (rf_M1_Read(0, 4, block) == 0) print_text("  block 4", block, 16);
    if (rf_M1_PurseRead(0, 5, value) == 0)
        printf("  %-18s%d\n", "purse in block 5", value[0] | value[1] << 8 | value[2] << 16 | value[3] << 24);
}

/* Every Type A card in the field: each one found is halted, so the next
 * search (idle cards only) finds another. */
static void search_type_a(void) {
    rf_Reader_SetAntenna(0, 0);
    rf_Reader_SetISOType(0, 'A');
    rf_Reader_SetAntenna(0, 1);
    for (int n = 0; n < 8; ++n) {
        unsigned char answer[250], len = 0, uidlen = 0;
        if (rf_search_type_a(0, 0x26, answer, &len, &uidlen) != 0) {
            if (n == 0) printf("no Type A card in the field\n");
            return;
        }
        printf("Type A card %d\n", n + 1);
        print_hex("  ATQA", answer, 2);
        print_hex("  SAK", answer + 2, 1);
        print_hex("  UID", answer + 3, uidlen);
        if (answer[2] == 0x20) {
            unsigned char version[28];
            if (rf_DF_GetVer(0, version) == 0) printf("  %-18sDESFire, storage byte %02X\n", "version", version[5]);
        } else if ((answer[2] & 0x18) != 0) {
            read_classic_sector();
        } else if (answer[2] == 0x00) {
            unsigned char pages[16];
            if (rf_UltraLight_Read(0, 4, pages) == 0) print_hex("  pages 4-7", pages, 16);
        }
        rf_ISO14443A_Halt(0);
    }
}

/* One ISO 15693 tag: its UID and first blocks. */
static void search_vicinity(void) {
    unsigned char inventory[9], len = 0, data[250], flags = 0x22;
    rf_Reader_SetISOType(0, '1');
    if (rf_ISO15693_Inventory(0, inventory, &len) != 0) {
        printf("no ISO 15693 tag in the field\n");
        return;
    }
    printf("ISO 15693 tag\n");
    print_hex("  UID", inventory + 1, 8);
    printf("  %-18s%02X\n", "maker", inventory[1 + 6]);
    if (rf_ISO15693_Read(0, flags, inventory + 1, 0, 3, data, &len) == 0) print_text("  blocks 0-2", data, len);
}

/* One ISO 14443 Type B card: its ATQB. */
static void search_type_b(void) {
    unsigned char atqb[12];
    rf_Reader_SetISOType(0, 'B');
    if (rf_ISO14443B_Request(0, 1, atqb) != 0) {
        printf("no Type B card in the field\n");
        return;
    }
    printf("Type B card\n");
    print_hex("  ATQB", atqb, 12);
}

/* The SAM in the reader's first contact slot: its ATR. */
static void show_sam(void) {
    unsigned char atr[250], len = 0;
    int rc = rf_SAM_RST(0, 1, atr, &len);
    if (rc != 0) {
        printf("SAM slot 1: error %d\n", rc);
        return;
    }
    print_hex("SAM slot 1 ATR", atr, len);
}

int main(int argc, char** argv) {
    const char* text = argc > 1 ? argv[1] : "TCP://127.0.0.1:4000";
    long long reader = ReaderOpen(text);
    if (reader == -1) {
        fprintf(stderr, "no reader at %s\n", text);
        return 1;
    }
    printf("reader open at %s\n", text);
    show_reader();
    search_type_a();
    search_vicinity();
    search_type_b();
    show_sam();
    rf_Reader_SetBeep(0, 10);
    ReaderClose(0);
    return 0;
}
