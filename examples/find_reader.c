/* Opens a reader and prints what it finds: the reader's identity and the
 * cards in its field. Usage: find_reader "TCP://127.0.0.1:4000" | "COM3:115200" */
#include <stdio.h>

#include "varrok.h"

static void print_hex(const char* label, const unsigned char* bytes, int n) {
    printf("%-18s", label);
    for (int i = 0; i < n; ++i) printf("%02X ", bytes[i]);
    printf("\n");
}

int main(int argc, char** argv) {
    const char* text = argc > 1 ? argv[1] : "TCP://127.0.0.1:4000";
    long long reader = ReaderOpen(text);
    if (reader == -1) {
        fprintf(stderr, "no reader at %s\n", text);
        return 1;
    }
    printf("reader open at %s\n", text);

    unsigned short id = 0;
    unsigned char version[2], serial[8];
    int rc = rf_Reader_GetID(0, &id);
    if (rc == 0) printf("%-18s%04X\n", "device address", id);
    else printf("device address    error %d\n", rc);
    if ((rc = rf_Reader_GetFirmwareVer(0, version)) == 0) print_hex("firmware version", version, 2);
    else printf("firmware version  error %d\n", rc);
    if ((rc = rf_Reader_GetSN(0, serial)) == 0) print_hex("serial number", serial, 8);
    else printf("serial number     error %d\n", rc);

    rf_Reader_SetBeep(0, 10);
    ReaderClose(reader);
    return 0;
}
