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
* and those of a control loop that runs on every pass of the timer interrupt:
*   unsigned pass         +1 on every pass
*   float    setpoint     steps between 0.0 and 1.0 every 2000 passes
*   float    output       the plant: two first-order lags of 50 passes each
*   float    command      the PI controller's output to the plant, within +-4
*   float    kp, ki       the controller's gains, 2.0 and 0.02 at start
* Each pass ends with a call of the recorder (examples/recorder), which can
* capture any of these at the loop's rate; its buffer holds 16384 words.
*
* Timer 0 interrupts with period 625 at half the instruction rate (750 on the
* C32): 20,000 passes a second on a 25-MIPS C31 and on a 30-MIPS C32, 32,000
* on a C33 at 40 MIPS. Every 200th pass is a tick: 100 ticks a second on the
* C31 and the C32, 160 on the C33. Between passes the CPU waits in IDLE.

DEMO_TIMER0     .set    808020h         ; timer 0 global control
DEMO_PERIOD0    .set    808028h         ; timer 0 period
DEMO_TINT0      .set    8               ; interrupt number (IF/IE bit)
DEMO_TICKS      .set    400             ; ticks per period of wave
DEMO_PASSES     .set    200             ; passes per tick
DEMO_STEP       .set    2000            ; passes between set-point steps
DEMO_RECWORDS   .set    16384           ; the recorder's buffer

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
        LDI     0, R0
        STI     R0, @_pass
        STI     R0, @demo_integ
        LDI     1, R0
        STI     R0, @demo_slow
        LDI     DEMO_STEP, R0
        STI     R0, @demo_spcount
        LDF     0.0, R0
        STF     R0, @_setpoint
        STF     R0, @_output
        STF     R0, @_command
        STF     R0, @demo_x1
        STF     R0, @demo_integ
        LDF     2.0, R0
        STF     R0, @_kp
        LDF     @demo_k_ki, R0
        STF     R0, @_ki
        LDI     DEMO_RECWORDS, R0       ; rec_init(buffer, words)
        PUSH    R0
        LDI     @demo_k_recbuf, R0
        PUSH    R0
        CALL    _rec_init
        SUBI    2, SP

        LDI     @demo_k_tick, AR0       ; timer 0 interrupt: demo_tick
        LDI     DEMO_TINT0, IR0
        CALL    resp_vector
        CALL    _resp_init              ; host access through serial port 0
        LDP     @demo_k_stack
        LDI     @demo_k_timer, AR0
        LDI     @demo_k_period, R0      ; 20 kHz on a C31 at 25 MHz ...
        LDI     @demo_k_tick, R1        ; ... and on a C32 at 30 MHz, told apart
        LDI     6000h, R2               ; as resp_vector does: only the C31 and
        LSH     16, R2                  ; C33 keep the branch to demo_tick
        OR      R1, R2                  ; placed at 809FC9h
        LDI     @demo_k_vector, AR1
        CMPI    *AR1, R2
        BEQ     demo_period_set
        LDI     @demo_k_period32, R0
demo_period_set:
        STI     R0, *+AR0(8)            ; period
        LDI     3C1h, R0                ; GO, run, internal clock, TCLK as timer output
        STI     R0, *AR0
        OR      100h, IE                ; ETINT0
demo_idle:
        IDLE
        BR      demo_idle

* --- timer 0: one pass of the control loop, every 200th pass a tick ------------
demo_tick:
        PUSH    ST
        PUSH    DP
        PUSH    R0
        PUSHF   R0
        PUSH    R1
        PUSHF   R1
        PUSH    R2
        PUSHF   R2
        PUSH    R3
        PUSHF   R3
        PUSH    AR0
        PUSH    AR1
        PUSH    AR2
        PUSH    IR0
        PUSH    IR1
        PUSH    RS
        PUSH    RE
        PUSH    RC
        LDP     @_counter

        LDI     @_pass, R2              ; pass += 1
        ADDI    1, R2
        STI     R2, @_pass

        LDI     @demo_spcount, R2       ; the set-point steps every DEMO_STEP passes
        SUBI    1, R2
        BGT     demo_sp_kept
        LDF     1.0, R0
        SUBF    @_setpoint, R0
        STF     R0, @_setpoint
        LDI     DEMO_STEP, R2
demo_sp_kept:
        STI     R2, @demo_spcount

        LDF     @_setpoint, R0          ; e = setpoint - output
        SUBF    @_output, R0
        LDF     R0, R1                  ; integ += ki e
        MPYF    @_ki, R1
        ADDF    @demo_integ, R1
        STF     R1, @demo_integ
        MPYF    @_kp, R0                ; command = kp e + integ, within +-4
        ADDF    R1, R0
        CMPF    4.0, R0
        LDFGT   4.0, R0
        CMPF    -4.0, R0
        LDFLT   -4.0, R0
        STF     R0, @_command
        SUBF    @demo_x1, R0            ; the plant: x1 += a (command - x1)
        MPYF    @demo_k_a, R0
        ADDF    @demo_x1, R0
        STF     R0, @demo_x1
        SUBF    @_output, R0            ; output += a (x1 - output)
        MPYF    @demo_k_a, R0
        ADDF    @_output, R0
        STF     R0, @_output

        CALL    _rec_sample             ; the recorder sees every pass
        LDP     @_counter

        LDI     @demo_slow, R2          ; the tick
        SUBI    1, R2
        STI     R2, @demo_slow
        BGT     demo_pass_done
        LDI     DEMO_PASSES, R2
        STI     R2, @demo_slow

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

demo_pass_done:
        POP     RC
        POP     RE
        POP     RS
        POP     IR1
        POP     IR0
        POP     AR2
        POP     AR1
        POP     AR0
        POPF    R3
        POP     R3
        POPF    R2
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
demo_k_period   .word   625
demo_k_period32 .word   750
demo_k_vector   .word   809FC9h            ; TINT0 on the C31 and C33
demo_k_recbuf   .word   demo_recbuf
demo_k_seed     .word   2463534242
demo_k_2cos     .float  1.9997532649       ; 2 cos(2 pi / 400)
demo_k_sin1     .float  0.0157073173       ; sin(2 pi / 400)
demo_k_a        .float  0.02               ; the plant's lags: 1 / 50 passes
demo_k_ki       .float  0.02

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
        .bss    _pass, 1
        .bss    _setpoint, 1
        .bss    _output, 1
        .bss    _command, 1
        .bss    _kp, 1
        .bss    _ki, 1
        .bss    demo_x1, 1
        .bss    demo_integ, 1
        .bss    demo_slow, 1
        .bss    demo_spcount, 1
        .bss    demo_recbuf, DEMO_RECWORDS

        .sym    _counter, _counter, 4, 2
        .sym    _wave, _wave, 6, 2
        .sym    _history, _history, 34h, 2, 256, , 8
        .sym    _noise, _noise, 14, 2
        .sym    _gain, _gain, 6, 2
        .sym    _step, _step, 4, 2
        .sym    _pass, _pass, 14, 2
        .sym    _setpoint, _setpoint, 6, 2
        .sym    _output, _output, 6, 2
        .sym    _command, _command, 6, 2
        .sym    _kp, _kp, 6, 2
        .sym    _ki, _ki, 6, 2

        .include "../responder/responder.asm"
        .include "../recorder/recorder.asm"
