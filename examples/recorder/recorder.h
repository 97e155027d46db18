/* Velmora UT recorder: captures variables at the rate of a control loop.
 *
 * Link recorder.asm (assembled with TI's asm30) with the program, give the
 * recorder a buffer once, and call rec_sample() from the control loop's
 * interrupt routine on every pass:
 *
 *     #include "recorder.h"
 *     static int rec_buffer[4096];
 *     void main(void) {
 *         rec_init(rec_buffer, sizeof rec_buffer / sizeof rec_buffer[0]);
 *         ...
 *     }
 *     void c_int09(void) {          (timer 0)
 *         control_loop();
 *         rec_sample();
 *     }
 *
 * The host (velmora-cli record, the Recorder window) finds the control block
 * by its symbol _rec, chooses channels, trigger and samples, and arms it.
 * Both functions take their arguments on the stack and change only the
 * registers a C function may change; see docs/recorder.md for the cycles.
 */
#ifndef VELMORA_RECORDER_H
#define VELMORA_RECORDER_H

#ifdef __cplusplus
extern "C" {
#endif

/* The control block, word by word (the host writes it; read-only to the
 * program). */
typedef struct {
    unsigned long magic;      /* 0x52454331 once rec_init ran */
    volatile long state;      /* 0 idle, 1 armed, 2 triggered, 3 done */
    long mode;                /* 0 single capture, 1 continuous */
    long channels;            /* 1-8 */
    long divider;             /* a sample every DIVIDER calls */
    long divcount;
    long trigger_channel;
    long trigger_flags;       /* bit 0 rising, 1 falling, 2 float; 0 none */
    long trigger_level;
    long pretrigger;          /* samples before the trigger */
    void *buffer;
    long capacity;            /* words */
    long size;                /* words in use */
    volatile long write_index;
    volatile long read_index;
    volatile long count;
    volatile long post;
    volatile long trigger_index;
    long previous;
    long primed;
    volatile long overruns;   /* continuous: samples dropped */
    volatile long calls;      /* rec_sample calls */
    void *channel[8];
} rec_block;

extern rec_block rec;

/* Gives the recorder its buffer (words: its size in 32-bit words) and leaves
 * it idle. Call once, before the control loop's interrupt is enabled. */
void rec_init(void *buffer, long words);

/* One pass of the control loop: takes a sample when armed and due. */
void rec_sample(void);

#ifdef __cplusplus
}
#endif

#endif
