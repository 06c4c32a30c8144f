@ Segment 0 of the default row and of board type 1, loaded at 0x12000, 64 bytes.
@ Called by the boot ROM: leaves the download marker and the return address in the marker
@ registers at B = 0x101E0000, then returns into the boot ROM.

        .arm
        .syntax unified
        .text
_start:
        stmdb   sp!, {lr}               @ keep the boot ROM's return address
        movw    r0, #0x00B0             @ r0 = B + 0xB0
        movt    r0, #0x101E
        movw    r1, #0x574E             @ r1 = 0x444F574E, "DOWN"
        movt    r1, #0x444F
        str     r1, [r0]                @ B + 0xB0 = "DOWN"
        movw    r1, #0x6A75             @ r1 = 0x7A696A75
        movt    r1, #0x7A69
        str     r1, [r0, #8]            @ B + 0xB8 = 0x7A696A75
        str     lr, [r0, #12]           @ B + 0xBC = return address
        dsb     sy                      @ the markers reach the registers before the ROM goes on
        ldmia   sp!, {pc}               @ back into the boot ROM
pad:    .fill   (64 - (pad - _start)) / 4, 4, 0xDEADBEEF
