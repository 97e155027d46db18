* A small target program for the monitoring tests: a counting main loop that
* polls serial port 0 and answers the pod's responder words.
*   address word (top byte 0)   load the word at that address for the reply
*   0xAD000000 | address        start a write; the reply echoes the address
*   0xD1000000 | high 16 bits   0xD0000000 | low 16 bits
*   0x33000000 commit           0x44000000 abandon
SGCR    .set    808040h
DXR     .set    808048h
DRR     .set    80804Ch

        .text   809800h
start:  LDP     @sgcrval
        LDI     @sgcrval, R0
        STI     R0, @SGCR               ; both sides out of reset, 32-bit frames
        LDI     @mask24, R6
loop:   LDI     @counter, R1            ; the value the tests watch change
        ADDI    1, R1
        STI     R1, @counter
        LDI     @SGCR, R1
        AND     1, R1                   ; RRDY: a word has arrived
        BZ      loop
        LDI     @DRR, R0
        LDI     R0, R2
        LSH     -24, R2                 ; tag
        AND3    R6, R0, R3              ; address or data bits
        CMPI    0, R2
        BNZ     notread
        LDI     R3, AR0
        LDI     *AR0, R1
        STI     R1, @DXR
        BR      loop
notread: CMPI   0ADh, R2
        BNZ     nostart
        STI     R3, @waddr
        STI     R3, @DXR
        BR      loop
nostart: CMPI   0D1h, R2
        BNZ     nohigh
        AND     0FFFFh, R3
        STI     R3, @whigh
        BR      loop
nohigh: CMPI    0D0h, R2
        BNZ     nolow
        AND     0FFFFh, R3
        STI     R3, @wlow
        BR      loop
nolow:  CMPI    33h, R2
        BNZ     loop
        LDI     @whigh, R1
        LSH     16, R1
        OR      @wlow, R1
        LDI     @waddr, AR0
        STI     R1, *AR0
        BR      loop

        .data   809C00h
counter: .word  0
gain:   .float  1.5
table:  .word   10, 20, 30, 40
flags:  .word   0
sgcrval: .word  0C3C0000h
mask24: .word   0FFFFFFh
waddr:  .word   0
whigh:  .word   0
wlow:   .word   0
        .sym    counter, counter, 4, 2
        .sym    gain, gain, 6, 2
        .sym    table, table, 0x34, 2, 128, , 4
        .sym    flags, flags, 14, 2
        .entry  start
