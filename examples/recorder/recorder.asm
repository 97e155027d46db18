* Velmora UT recorder
*
* Captures up to 8 variables of a running TMS320C31, C32 or C33 program at the
* rate of its control loop: the loop's interrupt routine calls rec_sample once
* per pass, rec_sample copies the channels into a buffer, and the host reads
* the buffer afterwards (single capture) or while it fills (continuous) through
* the target responder. The host finds the control block by its symbol _rec.
*
* Use (see docs/recorder.md):
*   rec_init(buffer, words)   once, before interrupts run; C: rec_init(buf, N);
*   rec_sample()              once per control-loop pass; C: rec_sample();
* Both follow TI's C calling convention (stack arguments, the first one
* pushed last): they change R0-R3, AR0-AR2, IR0, IR1, RS, RE, RC and ST only,
* the registers a C function may change, and keep DP. An interrupt routine
* written in assembly must save those before calling rec_sample.
*
* Cost of rec_sample in instructions, CALL and return included, for N
* channels (counted on the simulator, one instruction a cycle): 10 idle,
* 12 when the capture is complete, 16 between two samples (divider above 1);
* for a sample 44 + 3N after the trigger (43 + 3N continuous), 50 + 3N to
* 69 + 3N while waiting for a trigger, at most 76 + 3N on the pass a float
* trigger fires; 32 when a full ring drops the sample, 48 while a stream
* waits for its trigger. Stack: 3 words.
*
* On the silicon, taken branches, CALL and RETS take 3-4 cycles, and AR1,
* loaded and used as an address at once, holds the pipeline for 2 more
* cycles per channel.
*
* Written in TI's assembler syntax without section addresses: assemble it
* with TI's tools, or take it into a program with `.include "recorder.asm"`.
* Its code goes to .text, its control block (30 words) to .bss; the block is
* reached with one data page, so it must not cross a 64K-word page boundary
* (TI's small memory model keeps all of .bss within one page anyway).

* Control block: word offsets from _rec. The host writes the settings while
* the state is 0 and writes the state last.
RC_MAGIC        .set    0               ; 52454331h once rec_init ran
RC_STATE        .set    1               ; 0 idle, 1 armed, 2 triggered, 3 done
RC_MODE         .set    2               ; 0 single capture, 1 continuous
RC_NCHAN        .set    3               ; channels, 1-8
RC_DIVIDER      .set    4               ; a sample every DIVIDER calls, 1 or more
RC_DIVCOUNT     .set    5               ; calls until the next sample
RC_TRIGCHAN     .set    6               ; trigger channel, 0-7
RC_FLAGS        .set    7               ; bit 0 rising, 1 falling, 2 float; 0: no trigger
RC_LEVEL        .set    8               ; trigger level (integer or C3x float)
RC_PRETRIG      .set    9               ; samples kept before the trigger
RC_BUF          .set    10              ; buffer address (rec_init)
RC_CAPACITY     .set    11              ; buffer words (rec_init)
RC_SIZE         .set    12              ; words in use: samples x channels
RC_WIDX         .set    13              ; next word written, 0 .. SIZE-1
RC_RIDX         .set    14              ; continuous: next word the host reads
RC_COUNT        .set    15              ; samples taken since armed
RC_POST         .set    16              ; single: samples still to take after the trigger
RC_TRIGIDX      .set    17              ; word index of the trigger sample
RC_PREV         .set    18              ; the trigger channel's previous value
RC_PRIMED       .set    19              ; PREV holds a value
RC_OVERRUN      .set    20              ; continuous: samples dropped on a full ring
RC_CALLS        .set    21              ; rec_sample calls, free-running
RC_CHAN         .set    22              ; 8 channel addresses
RC_WORDS        .set    30

        .global _rec, _rec_init, _rec_sample

        .bss    _rec, RC_WORDS

        .text

* --- rec_sample: one pass of the control loop ----------------------------------
_rec_sample:
        PUSH    DP
        LDP     @_rec
        LDI     @_rec+RC_CALLS, R0
        ADDI    1, R0
        STI     R0, @_rec+RC_CALLS
        LDI     @_rec+RC_STATE, R0      ; R0 = state until the end
        BZ      rec_out                 ; idle
        CMPI    3, R0
        BHS     rec_out                 ; done
        LDI     @_rec+RC_DIVCOUNT, R1
        SUBI    1, R1
        BLE     rec_take
        STI     R1, @_rec+RC_DIVCOUNT
rec_out:
        POP     DP
        RETS

rec_take:
        LDI     @_rec+RC_DIVIDER, R1
        STI     R1, @_rec+RC_DIVCOUNT
        LDI     @_rec+RC_MODE, R1
        BZ      rec_store
* continuous: from the trigger on, into the ring while it has room
        CMPI    1, R0
        BNE     rec_room
        CALL    rec_trigger
        CMPI    0, R1
        BZ      rec_out
        LDI     2, R0
        STI     R0, @_rec+RC_STATE
rec_room:
        LDI     @_rec+RC_WIDX, R1       ; words waiting = WIDX - RIDX (mod SIZE)
        SUBI    @_rec+RC_RIDX, R1
        BGE     rec_used
        ADDI    @_rec+RC_SIZE, R1
rec_used:
        ADDI    @_rec+RC_NCHAN, R1      ; one sample more must leave a gap
        CMPI    @_rec+RC_SIZE, R1
        BLT     rec_store
        LDI     @_rec+RC_OVERRUN, R1    ; full: the sample is dropped and counted
        ADDI    1, R1
        STI     R1, @_rec+RC_OVERRUN
        BR      rec_out

* one sample: channel values to BUF + WIDX, WIDX moves on
rec_store:
        LDI     @_rec+RC_WIDX, IR1      ; IR1 = where this sample goes
        LDI     @_rec+RC_BUF, AR2
        ADDI    IR1, AR2
        LDI     DP, AR0                 ; AR0 = &_rec[RC_CHAN]
        LSH     16, AR0
        OR      (_rec+RC_CHAN) & 0FFFFh, AR0
        LDI     @_rec+RC_NCHAN, RC
        SUBI    1, RC
        RPTB    rec_copied
        LDI     *AR0++, AR1
        LDI     *AR1, R1
rec_copied:
        STI     R1, *AR2++
        LDI     IR1, R1
        ADDI    @_rec+RC_NCHAN, R1
        CMPI    @_rec+RC_SIZE, R1
        LDIHS   0, R1                   ; SIZE is a multiple of NCHAN
        STI     R1, @_rec+RC_WIDX
        LDI     @_rec+RC_MODE, R1
        BNZ     rec_out
* single capture: count, wait for the trigger, then fill the rest
        LDI     @_rec+RC_COUNT, R1
        ADDI    1, R1
        STI     R1, @_rec+RC_COUNT
        CMPI    1, R0
        BNE     rec_after
        CALL    rec_trigger
        CMPI    0, R1
        BZ      rec_out
        LDI     @_rec+RC_COUNT, R1      ; the pre-trigger samples must be there
        CMPI    @_rec+RC_PRETRIG, R1
        BLS     rec_out
        STI     IR1, @_rec+RC_TRIGIDX
        LDI     2, R0
        LDI     @_rec+RC_POST, R1
        BNZ     rec_state
        LDI     3, R0                   ; the trigger sample was the last one
rec_state:
        STI     R0, @_rec+RC_STATE
        BR      rec_out
rec_after:
        LDI     @_rec+RC_POST, R1
        SUBI    1, R1
        STI     R1, @_rec+RC_POST
        BGT     rec_out
        LDI     3, R0
        STI     R0, @_rec+RC_STATE
        BR      rec_out

* rec_trigger: R1 = 1 when the trigger channel crossed the level on this pass
* (always when FLAGS is 0), else 0. Keeps the value for the next pass.
* Changes R1-R3, AR0, AR1, IR0.
rec_trigger:
        LDI     @_rec+RC_FLAGS, R2
        BZ      rec_fire
        LDI     DP, AR0
        LSH     16, AR0
        OR      (_rec+RC_CHAN) & 0FFFFh, AR0
        LDI     @_rec+RC_TRIGCHAN, IR0
        LDI     *+AR0(IR0), AR1         ; the trigger variable
        LDI     @_rec+RC_PRIMED, R3
        BNZ     rec_primed
        LDI     *AR1, R3                ; first pass: nothing to compare with
        STI     R3, @_rec+RC_PREV
        LDI     1, R3
        STI     R3, @_rec+RC_PRIMED
        BR      rec_hold
rec_primed:
        TSTB    4, R2
        BNZ     rec_float
        LDI     @_rec+RC_PREV, R1
        LDI     *AR1, R3
        STI     R3, @_rec+RC_PREV
        TSTB    1, R2
        BZ      rec_int_fall
        CMPI    @_rec+RC_LEVEL, R1      ; rising: prev < level <= now
        BGE     rec_int_fall
        CMPI    @_rec+RC_LEVEL, R3
        BGE     rec_fire
rec_int_fall:
        TSTB    2, R2
        BZ      rec_hold
        CMPI    @_rec+RC_LEVEL, R1      ; falling: prev > level >= now
        BLE     rec_hold
        CMPI    @_rec+RC_LEVEL, R3
        BLE     rec_fire
        BR      rec_hold
rec_float:
        LDF     @_rec+RC_PREV, R1
        LDF     *AR1, R3
        STF     R3, @_rec+RC_PREV
        TSTB    1, R2
        BZ      rec_float_fall
        CMPF    @_rec+RC_LEVEL, R1
        BGE     rec_float_fall
        CMPF    @_rec+RC_LEVEL, R3
        BGE     rec_fire
rec_float_fall:
        TSTB    2, R2
        BZ      rec_hold
        CMPF    @_rec+RC_LEVEL, R1
        BLE     rec_hold
        CMPF    @_rec+RC_LEVEL, R3
        BLE     rec_fire
rec_hold:
        LDI     0, R1
        RETS
rec_fire:
        LDI     1, R1
        RETS

* --- rec_init(buffer, words): the buffer, the recorder idle ------------------
_rec_init:
        PUSH    DP
        LDP     @_rec
        LDI     SP, AR2
        LDI     *-AR2(2), R0            ; buffer (above DP and the return address)
        STI     R0, @_rec+RC_BUF
        LDI     *-AR2(3), R0            ; words
        STI     R0, @_rec+RC_CAPACITY
        LDI     0, R0
        STI     R0, @_rec+RC_STATE
        STI     R0, @_rec+RC_CALLS
        STI     R0, @_rec+RC_OVERRUN
        LDI     5245h, R0               ; "REC1": the host checks it
        LSH     16, R0
        OR      4331h, R0
        STI     R0, @_rec+RC_MAGIC
        POP     DP
        RETS

* The block as the symbol pane lists it: long rec[30].
        .sym    _rec, _rec, 34h, 2, 960, , RC_WORDS
