@ Segment 1 of the default row, loaded at 0x10C00, 112 bytes.
@ Marks the download in the registers at B = 0x101E0000, then starts the board from the boot
@ source that the mode pins select: bits 10..9 of the system controller word at 0x10200000.

        .arm
        .syntax unified
        .text
_start:
        movw    r0, #0x00B8             @ r0 = B + 0xB8
        movt    r0, #0x101E
        mvn     r1, #0                  @ r1 = 0xFFFFFFFF
        str     r1, [r0]                @ B + 0xB8 = 0xFFFFFFFF
        movw    r1, #0x574E             @ r1 = 0x444F574E, "DOWN"
        movt    r1, #0x444F
        str     r1, [r0, #-8]           @ B + 0xB0 = "DOWN"
        dsb     sy                      @ the markers land before the board is restarted
        ldr     r2, sysctl              @ r2 = 0x10200000
        ldr     r3, [r2]                @ r3 = mode pins word
        ubfx    r3, r3, #9, #2          @ r3 = (word >> 9) & 3
        cmp     r3, #1
        moveq   r4, #0x24000000         @ 1: start at 0x24000000
        beq     go
        cmp     r3, #0
        moveq   r4, #0x26000000         @ 0: start at 0x26000000
        beq     go
        cmp     r3, #3
        ldreq   r4, rom_entry           @ 3: start at 0x000004D8
hang:   bne     hang                    @ 2: no boot source, stay here
go:     bx      r4
        .word   0xDEADBEEF, 0xDEADBEEF, 0xDEADBEEF
sysctl: .word   0x10200000              @ system controller word with the mode pins
rom_entry:
        .word   0x000004D8              @ boot ROM entry for mode 3
        mov     r0, r0                  @ no-operation words (0xE1A00000)
        mov     r0, r0
