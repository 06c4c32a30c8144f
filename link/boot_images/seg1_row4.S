@ Segment 1 of board type 4, loaded at 0xFFFE1400, 64 bytes.
@ Marks the download in the registers at B = 0xF8000000 and restarts the board at 0xFFFF0040.

        .arm
        .syntax unified
        .text
_start:
        movw    r0, #0x00B8             @ r0 = B + 0xB8
        movt    r0, #0xF800
        mvn     r1, #0                  @ r1 = 0xFFFFFFFF
        str     r1, [r0]                @ B + 0xB8 = 0xFFFFFFFF
        movw    r0, #0x00B0             @ r0 = B + 0xB0
        movt    r0, #0xF800
        movw    r1, #0x574E             @ r1 = 0x444F574E, "DOWN"
        movt    r1, #0x444F
        str     r1, [r0]                @ B + 0xB0 = "DOWN"
        dsb     sy                      @ the markers land before anything else runs
        ldr     pc, restart             @ restart at 0xFFFF0040
        b       .                       @ not reached
restart:
        .word   0xFFFF0040              @ high-vector boot entry
        mov     r0, r0                  @ no-operation words (0xE1A00000)
        mov     r0, r0
        mov     r0, r0
