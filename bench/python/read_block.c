/* The C side of read_block.py: the same 16-byte MIFARE Classic block read through
 * the shared library, on the same kind of connection as the Python package opens.
 *
 *   read_block_c TCP://127.0.0.1:PORT COUNT     prints "c <microseconds per read>"
 */
#include "varrok.h"

#include <stdio.h>
#include <stdlib.h>
#include <time.h>

static double now(void) {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec + t.tv_nsec / 1e9;
}

int main(int argc, char** argv) {
    char address[16];
    int port = 0;
    if (argc != 3 || sscanf(argv[1], "TCP://%15[0-9.]:%d", address, &port) != 2) {
        fprintf(stderr, "usage: read_block_c TCP://a.b.c.d:PORT COUNT\n");
        return 2;
    }
    const int count = atoi(argv[2]);
    const int icdev = rf_init_net(address, port);
    unsigned char card[64], length = 0, data[16];
    unsigned char key[6] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    if (icdev < 0 || rf_ISO14443A_GetCard(icdev, 0x52, card, &length) != 0 ||
        rf_M1_Authentication(icdev, 0x60, 4, key) != 0) {
        fprintf(stderr, "read_block_c: no reader or card at %s\n", argv[1]);
        return 1;
    }
    const double start = now();
    for (int i = 0; i < count; ++i)
        if (rf_M1_Read(icdev, 4, data) != 0) {
            fprintf(stderr, "read_block_c: read %d failed\n", i);
            return 1;
        }
    printf("c %.2f\n", (now() - start) / count * 1e6);
    rf_ClosePortVer5(icdev);
    return 0;
}
