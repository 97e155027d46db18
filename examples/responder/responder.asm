* Velmora UT target responder
*
* Lets Velmora UT read and write the memory of a running TMS320C31, C32 or C33
* program through the pod, which shifts 32-bit words in and out of serial
* port 0. Interrupt driven: the program keeps running, and each word costs it
* one short interrupt (about 30 instruction cycles).
*
* Words from the host (top byte = tag):
*   00aaaaaah  read: the word at address aaaaaah goes out on the next transfer
*   ADaaaaaah  start a write to aaaaaah; the address goes back (echo)
*   D1hhhhh    upper 16 bits of the value
*   D0llllh    lower 16 bits of the value
*   33000000h  commit: the value is stored
*   44000000h  abandon the write
* A write is stored only after AD, D1, D0 and 33 in that order; any other word
* in between abandons it. Every word is answered on the next transfer (the
* pod's one-transfer lag): reads with the word read, AD with the address,
* everything else with the word itself.
*
* Use (see docs/responder.md):
*   CALL _resp_init        once, with SP set up; C: resp_init();
*   or CALL _resp_start    when the RINT0 vector is already in place
*
* Uses serial port 0 and its receive interrupt RINT0 (IF/IE bit 5). The
* interrupt routine resp_rint0 saves what it uses (ST, DP, AR0-AR2) on the
* stack: 6 words with the return address. It never touches R0-R7.
*
* Written in TI's assembler syntax without section addresses, so it can be
* assembled and linked with TI's tools, or taken into a program with
* `.include "responder.asm"` by velmora-cli asm. Its code goes to .text, its
* five variables to .bss.

RESP_SGCR       .set    808040h         ; serial port 0 global control
RESP_SPCX       .set    808042h         ; FSX/DX/CLKX port control
RESP_SPCR       .set    808043h         ; FSR/DR/CLKR port control
RESP_DXR        .set    808048h         ; data transmit
RESP_DRR        .set    80804Ch         ; data receive
RESP_RINT0      .set    5               ; interrupt number (IF/IE bit)

        .global _resp_init, _resp_start, resp_rint0, resp_vector

        .bss    resp_step, 1            ; 0 idle, 1 address, 2 upper half, 3 value complete
        .bss    resp_addr, 1
        .bss    resp_value, 1

        .text

* --- RINT0: one word from the pod ---------------------------------------------
resp_rint0:
        PUSH    ST
        PUSH    DP
        PUSH    AR0
        PUSH    AR1
        PUSH    AR2
        LDP     @RESP_DRR
        LDI     @RESP_DRR, AR0          ; the word (reading DRR frees the receiver)
        LDI     AR0, AR2
        LSH     -24, AR2                ; its tag
        LDP     @resp_step
        CMPI    0, AR2
        BEQ     resp_read
        CMPI    0ADh, AR2
        BEQ     resp_begin
        CMPI    0D1h, AR2
        BEQ     resp_high
        CMPI    0D0h, AR2
        BEQ     resp_low
        CMPI    33h, AR2
        BEQ     resp_commit
        BR      resp_abandon            ; 44h and anything else

resp_read:
        LDI     *AR0, AR0               ; the answer: the word at the address
        BR      resp_abandon            ; a read also ends a write sequence

resp_begin:
        LSH     8, AR0
        LSH     -8, AR0                 ; the address, echoed
        STI     AR0, @resp_addr
        LDI     1, AR1
        BR      resp_next

resp_high:
        LDI     @resp_step, AR1
        CMPI    1, AR1
        BNE     resp_abandon
        LDI     AR0, AR1
        LSH     16, AR1                 ; the upper half in place
        STI     AR1, @resp_value
        LDI     2, AR1
        BR      resp_next

resp_low:
        LDI     @resp_step, AR1
        CMPI    2, AR1
        BNE     resp_abandon
        LDI     AR0, AR1
        AND     0FFFFh, AR1
        OR      @resp_value, AR1
        STI     AR1, @resp_value
        LDI     3, AR1
        BR      resp_next

resp_commit:
        LDI     @resp_step, AR1
        CMPI    3, AR1
        BNE     resp_abandon
        LDI     @resp_addr, AR1
        LDI     @resp_value, AR2
        STI     AR2, *AR1               ; the write itself
resp_abandon:
        LDI     0, AR1
resp_next:
        STI     AR1, @resp_step
        LDP     @RESP_DXR
        STI     AR0, @RESP_DXR          ; out on the next transfer
        POP     AR2
        POP     AR1
        POP     AR0
        POP     DP
        POP     ST
        RETI

* --- set-up -------------------------------------------------------------------
* _resp_init: installs the RINT0 vector, then as _resp_start.
* Changes AR0-AR2, IR0; keeps DP.
_resp_init:
        PUSH    DP
        LDP     @resp_k_handler
        LDI     @resp_k_handler, AR0
        LDI     RESP_RINT0, IR0
        CALL    resp_vector
        POP     DP

* _resp_start: serial port 0 as the pod's link (32-bit frames on the pod's
* clock and frame sync, transmitter and receiver running, receive interrupt),
* RINT0 enabled in IE and interrupts enabled (GIE). Changes AR1, AR2; keeps DP.
_resp_start:
        PUSH    DP
        LDP     @resp_step
        LDI     0, AR1
        STI     AR1, @resp_step
        LDP     @resp_k_sgcr
        LDI     @resp_k_sgcr, AR2
        LDP     @RESP_SGCR
        LDI     111h, AR1
        STI     AR1, @RESP_SPCX         ; CLKX, DX, FSX as serial port pins
        STI     AR1, @RESP_SPCR         ; CLKR, DR, FSR
        STI     AR2, @RESP_SGCR
        OR      20h, IE                 ; ERINT0
        OR      2000h, ST               ; GIE
        POP     DP
        RETS

* resp_vector: makes interrupt IR0 (0-10) enter the routine at AR0.
* C31 and C33 in microcomputer/boot-loader mode take interrupt n at
* 809FC1h + n, where a branch is placed; the C32 reads the routine's address
* from its vector table at IVTP + 1 + n, with IVTP = 87FE00h as the boot
* loader leaves it. Which one applies is seen by writing the branch and
* reading it back: only the C31 and C33 have RAM there.
* Changes AR1, AR2 and DP.
resp_vector:
        LDP     @resp_k_table
        LDI     @resp_k_table, AR1
        ADDI    IR0, AR1
        LDI     AR0, AR2
        OR      @resp_k_branch, AR2     ; BR routine
        STI     AR2, *AR1
        CMPI    *AR1, AR2
        BEQ     resp_vector_done
        LDI     @resp_k_ivtp, AR1
        ADDI    IR0, AR1
        STI     AR0, *AR1
resp_vector_done:
        RETS

resp_k_handler  .word   resp_rint0
resp_k_sgcr     .word   0E3C0000h       ; RRESET XRESET RINT, 32-bit frames, external clocks
resp_k_table    .word   809FC1h
resp_k_branch   .word   60000000h
resp_k_ivtp     .word   87FE01h
