* A small responder-style test loop.
        .sect   "vectors", 0
        .word   start
        .text   0x809800
start:  LDP     @counter
        LDI     0, R0
        STI     R0, @counter
loop:   LDI     @counter, R0
        ADDI    1, R0
        STI     R0, @counter
        LDF     1.5, R1
        MPYF3   R1, R1, R2
        BUD     loop
        NOP
        NOP
        NOP
        .data
counter: .word  0
_table: .float  1.0, 2.0, 3.5
        .sym    _counter, counter, 4, 2
        .sym    _table, _table, 0x36, 2, 96, , 3
        .global start
