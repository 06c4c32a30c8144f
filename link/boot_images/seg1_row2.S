@ Segment 1 of board type 2, loaded at 0xFFFE0C00, 64 bytes.
@ Marks the download in the registers at B = 0xF8000000 and returns to the boot ROM's own
@ caller by unwinding the boot ROM's frame.

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
        ldmia   sp!, {r4-r11}           @ the boot ROM's saved registers
        add     sp, sp, #0x20           @ the boot ROM's locals
        ldmia   sp!, {r4, lr}           @ its caller's r4 and return address
        bx      lr                      @ back to the boot ROM's caller
        b       .                       @ not reached
        .word   0xDEADBEEF
