* TMS320C31 flash loader.
*
* Serial-booted into the internal RAM by the host's flash procedures, then
* driven with command words through the pod: reads of the flash, chip erase
* and byte programming of the JEDEC chips, page writes of the Atmel chips.
* The table in flash_loader_c31.cpp is generated from this file by
* `velmora-cli loader-table`; the host writes the configured primary bus
* control value into bus_control_value (0x8099E7) before every flash command.
*
* Memory: code at 0x809810, constants at 0x8099E2, then the receive ring and
* the stack; the RINT0 vector at 0x809FC6 (boot-loader vector table).

RING_WORDS      .set    256
STACK_WORDS     .set    32

        .text   809810h
entry:  LDP     @k_sport                ; the data page of the constants and variables
        LDI     @k_stack, SP
        LDI     @k_busctl, AR0
        LDI     @bus_control_value, R0
        STI     R0, *AR0                ; bus timing for the flash before it is touched
        LDI     @k_vector, AR0
        LDI     @k_vector_branch, R0
        STI     R0, *AR0                ; RINT0: BR rint0
        CALL    core_init
        BR      main

dispatch:
        CMPI    66h, R1
        BEQ     cmd_read
        CMPI    77h, R1
        BEQ     cmd_read
        CMPI    0EEh, R1
        BEQ     cmd_erase
        CMPI    88h, R1
        BEQ     cmd_program
        CMPI    99h, R1
        BEQ     cmd_page
        BR      main                    ; anything else is not for the loader

        .include "loader_core.inc"
        .include "loader_jedec.inc"
        .include "loader_atmel.inc"

        .sect   "consts", 8099E2h
k_sport         .word   808040h
k_drr           .word   80804Ch
k_ring          .word   ring
k_ring_end      .word   ring + RING_WORDS
k_busctl        .word   808064h
bus_control_value .word 000008F8h       ; replaced by the host
k_mask24        .word   0FFFFFFh
k_stack         .word   stack
k_sgcr          .word   0E3C0000h       ; RRESET XRESET RINT, 32-bit frames, external clocks
k_vector        .word   809FC6h
k_vector_branch .word   60000000h + rint0
k_ring_words    .word   RING_WORDS
k_jedec_page    .word   0FFF800h
k_poll_limit    .word   10000h
k_page_max      .word   64
k_toggle_limit  .word   20000

        .bss    rhead, 1
        .bss    rtail, 1
        .bss    ring_overflow, 1
        .bss    flash_errors, 1
        .bss    ring, RING_WORDS
        .bss    stack, STACK_WORDS
