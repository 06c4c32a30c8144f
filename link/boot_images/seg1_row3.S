@ Segment 1 of board type 3, loaded at 0x10C00, 80 bytes.
@ Marks the download in the registers at B = 0x101E0000, sets 0x00000FFF at 0x60010004 and
@ restarts the board at address 0x40.

        .arm
        .syntax unified
        .text
_start:
        movw    r0, #0x00B8             @ r0 = B + 0xB8
        movt    r0, #0x101E
        mvn     r1, #0                  @ r1 = 0xFFFFFFFF
        str     r1, [r0]                @ B + 0xB8 = 0xFFFFFFFF
        movw    r0, #0x00B0             @ r0 = B + 0xB0
        movt    r0, #0x101E
        movw    r1, #0x574E             @ r1 = 0x444F574E, "DOWN"
        movt    r1, #0x444F
        str     r1, [r0]                @ B + 0xB0 = "DOWN"
        dsb     sy                      @ the markers land before anything else runs
        movw    r0, #0x0004             @ r0 = 0x60010004
        movt    r0, #0x6001
        movw    r1, #0x0FFF             @ r1 = 0x00000FFF
        str     r1, [r0]                @ 0x60010004 = 0x00000FFF
        dsb     sy
        mov     pc, #0x40               @ restart at 0x40
        b       .                       @ not reached
        .word   0xDEADBEEF, 0xDEADBEEF, 0xDEADBEEF
