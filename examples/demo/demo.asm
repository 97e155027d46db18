* Velmora UT demo program
*
* A small TMS320C3x program to try Velmora UT on: its global variables change
* while it runs, and the target responder lets the host watch and change them.
* The same file runs on the TMS320C31, C32 and C33: everything lives in the
* external RAM at 200000h, which the boards of all three types have, and the
* responder installs the interrupt vectors the way the DSP at hand takes them.
*
*   velmora-cli asm examples/demo/demo.asm -o examples/demo/demo.out
*
* Variables (as TI's C compiler would describe them, with debug types):
*   int      counter      +step on every tick
*   float    wave         gain * sin(2 pi t / 400 ticks): changes smoothly
*   int      history[8]   history[counter & 7] = counter
*   unsigned noise        a 32-bit xorshift sequence
*   float    gain         amplitude of wave, 1.0 at start: write it to change wave
*   int      step         increment of counter, 1 at start: write it to change the pace
*
* Timer 0 gives the tick: period 125000 at half the instruction rate, 100 ticks
* a second on a 25-MIPS C31 (120 on a C32 at 30 MIPS, 240 on a C33 at 60).
* Between ticks the CPU waits in IDLE.

DEMO_TIMER0     .set    808020h         ; timer 0 global control
DEMO_PERIOD0    .set    808028h         ; timer 0 period
DEMO_TINT0      .set    8               ; interrupt number (IF/IE bit)
DEMO_TICKS      .set    400             ; ticks per period of wave

        .text   200000h
demo_start:
        LDP     @demo_k_stack
        LDI     @demo_k_stack, SP
        LDI     0, R0
        STI     R0, @_counter
        STI     R0, @demo_phase
        LDF     0.0, R0
        STF     R0, @_wave
        STF     R0, @demo_y0
        LDF     @demo_k_sin1, R0
        STF     R0, @demo_y1
        LDF     1.0, R0
        STF     R0, @_gain
        LDI     1, R0
        STI     R0, @_step
        LDI     @demo_k_seed, R0
        STI     R0, @_noise
        LDI     @demo_k_history, AR0
        LDI     0, R0
        RPTS    7
        STI     R0, *AR0++

        LDI     @demo_k_tick, AR0       ; timer 0 interrupt: demo_tick
        LDI     DEMO_TINT0, IR0
        CALL    resp_vector
        CALL    _resp_init              ; host access through serial port 0
        LDP     @demo_k_stack
        LDI     @demo_k_timer, AR0
        LDI     @demo_k_period, R0
        STI     R0, *+AR0(8)            ; period
        LDI     3C1h, R0                ; GO, run, internal clock, TCLK as timer output
        STI     R0, *AR0
        OR      100h, IE                ; ETINT0
demo_idle:
        IDLE
        BR      demo_idle

* --- timer 0: one tick --------------------------------------------------------
demo_tick:
        PUSH    ST
        PUSH    DP
        PUSH    R0
        PUSHF   R0
        PUSH    R1
        PUSHF   R1
        PUSH    R2
        PUSH    AR0
        PUSH    IR0
        LDP     @_counter

        LDI     @_counter, R2           ; counter += step
        ADDI    @_step, R2
        STI     R2, @_counter

        LDI     @demo_k_history, AR0    ; history[counter & 7] = counter
        LDI     R2, IR0
        AND     7, IR0
        STI     R2, *+AR0(IR0)

        LDF     @demo_y1, R0            ; y(n+1) = 2 cos(w) y(n) - y(n-1)
        MPYF    @demo_k_2cos, R0
        SUBF    @demo_y0, R0
        LDF     @demo_y1, R1
        STF     R1, @demo_y0
        STF     R0, @demo_y1
        MPYF    @_gain, R0
        STF     R0, @_wave
        LDI     @demo_phase, R2         ; start the sine afresh every period, so
        ADDI    1, R2                   ; rounding never builds up
        CMPI    DEMO_TICKS, R2
        BLT     demo_phase_kept
        LDI     0, R2
        LDF     0.0, R1
        STF     R1, @demo_y0
        LDF     @demo_k_sin1, R1
        STF     R1, @demo_y1
demo_phase_kept:
        STI     R2, @demo_phase

        LDI     @_noise, R0             ; xorshift32: x ^= x << 13, x >> 17, x << 5
        LDI     R0, R1
        LSH     13, R1
        XOR     R1, R0
        LDI     R0, R1
        LSH     -17, R1
        XOR     R1, R0
        LDI     R0, R1
        LSH     5, R1
        XOR     R1, R0
        STI     R0, @_noise

        POP     IR0
        POP     AR0
        POP     R2
        POPF    R1
        POP     R1
        POPF    R0
        POP     R0
        POP     DP
        POP     ST
        RETI

demo_k_stack    .word   demo_stack
demo_k_history  .word   _history
demo_k_tick     .word   demo_tick
demo_k_timer    .word   DEMO_TIMER0
demo_k_period   .word   125000
demo_k_seed     .word   2463534242
demo_k_2cos     .float  1.9997532649       ; 2 cos(2 pi / 400)
demo_k_sin1     .float  0.0157073173       ; sin(2 pi / 400)

        .bss    _counter, 1
        .bss    _wave, 1
        .bss    _history, 8
        .bss    _noise, 1
        .bss    _gain, 1
        .bss    _step, 1
        .bss    demo_phase, 1
        .bss    demo_y0, 1
        .bss    demo_y1, 1
        .bss    demo_stack, 64

        .sym    _counter, _counter, 4, 2
        .sym    _wave, _wave, 6, 2
        .sym    _history, _history, 34h, 2, 256, , 8
        .sym    _noise, _noise, 14, 2
        .sym    _gain, _gain, 6, 2
        .sym    _step, _step, 4, 2

        .include "../responder/responder.asm"
