* TMS320C32 flash loader for the byte-programmed chips (AM29F010, AM29F040,
* HY29F040A).
*
* Serial-booted into the internal RAM by the host's flash procedures, then
* driven with command words through the pod: reads of the flash, chip erase
* and byte programming. The table in flash_loader_c32_byte.cpp is generated
* from this file by `velmora-cli loader-table`. The stream starts with the
* IOSTRB, STRB0 and STRB1 values, which the host replaces with the configured
* ones and the boot loader writes to the bus control registers before this
* program runs, so the flash is reached with the board's timing.
*
* Memory: code at 0x87FE10, constants at 0x87FF81, then the receive ring and
* the stack; the RINT0 vector in the table at IVTP = 0x87FE00 (entry 6).

stream_iostrb   .set    000000F8h       ; replaced by the host
stream_strb0    .set    000F08F8h
stream_strb1    .set    000F08F8h
        .global stream_iostrb, stream_strb0, stream_strb1

RING_WORDS      .set    64
STACK_WORDS     .set    24

        .text   87FE10h
entry:  LDP     @k_sport                ; the data page of the constants and variables
        LDI     @k_stack, SP
        LDI     @k_vector, AR0
        LDI     @k_isr, R0
        STI     R0, *AR0                ; RINT0 handler address
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
        CMPI    0A5h, R1
        BEQ     cmd_status
        CMPI    0F0h, R1
        BEQ     cmd_reset
        CMPI    0CCh, R1
        BEQ     cmd_crc
        CMPI    0CDh, R1
        BEQ     cmd_crc_result
        BR      unknown_command

        .include "loader_core.inc"
        .include "loader_jedec.inc"

        .sect   "consts", 87FF81h
k_sport         .word   808040h
k_drr           .word   80804Ch
k_ring          .word   ring
k_ring_end      .word   ring + RING_WORDS
k_mask24        .word   0FFFFFFh
k_stack         .word   stack
k_sgcr          .word   0E3C0000h       ; RRESET XRESET RINT, 32-bit frames, external clocks
k_vector        .word   87FE06h
k_isr           .word   rint0
k_ring_words    .word   RING_WORDS
k_jedec_page    .word   0FF8000h
k_poll_limit    .word   10000h
k_crc_table     .word   crc_table
crc_table       .word   000000000h, 01DB71064h, 03B6E20C8h, 026D930ACh
                .word   076DC4190h, 06B6B51F4h, 04DB26158h, 05005713Ch
                .word   0EDB88320h, 0F00F9344h, 0D6D6A3E8h, 0CB61B38Ch
                .word   09B64C2B0h, 086D3D2D4h, 0A00AE278h, 0BDBDF21Ch

        .bss    rhead, 1
        .bss    rtail, 1
        .bss    ring_overflow, 1
        .bss    flash_errors, 1
        .bss    stream_errors, 1
        .bss    crc_result, 1
        .bss    ring, RING_WORDS
        .bss    stack, STACK_WORDS
