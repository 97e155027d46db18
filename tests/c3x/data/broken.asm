* Two faults: a missing operand and an unknown mnemonic.
        LDI     R0
        FOO     R1, R2
