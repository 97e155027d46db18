* Test target program for the TMS320C31 and TMS320C33: answers the pod's words
* on serial port 0 by polling (reads by address, and the tagged write with
* commit and abandon), and keeps a few data words to read and write.
        .text   0x809800
start:  LDI     0x80, DP            ; page of the peripherals
        LDI     0x0C3C, R0
        LSH     16, R0              ; transmitter and receiver on, 32-bit words
        STI     R0, @0x8040
wait:   LDI     @0x8040, R0
        AND     1, R0               ; a word received?
        BZ      wait
        LDI     @0x804C, R1
        LDI     R1, R2
        LSH     -24, R2             ; its tag
        BZ      read
        CMPI    0xAD, R2
        BZ      wstart
        CMPI    0xD1, R2
        BZ      whigh
        CMPI    0xD0, R2
        BZ      wlow
        CMPI    0x33, R2
        BZ      commit
        B       wait                ; abandon, and anything unknown
read:   LDI     R1, AR0
        NOP
        LDI     *AR0, R3
        STI     R3, @0x8048         ; goes out with the next transfer
        B       wait
wstart: LDI     R1, R4
        LSH     8, R4
        LSH     -8, R4              ; the address to write
        STI     R4, @0x8048         ; echoed back
        B       wait
whigh:  LDI     R1, R5
        LSH     16, R5
        B       wait
wlow:   LDI     R1, R6
        AND     0FFFFh, R6
        B       wait
commit: OR3     R5, R6, R3
        LDI     R4, AR1
        NOP
        STI     R3, *AR1
        B       wait

        .data   0x809A00
counter: .word  0x1234
gain:   .float  1.5
table:  .word   1, 2, 3
        .sym    counter, counter, 4, 2
        .sym    gain, gain, 6, 2
        .sym    table, table, 0x34, 2, 96, , 3
