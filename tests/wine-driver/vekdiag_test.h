/* What the test driver and its control program share: the adapters it plays, and
 * the control channel through which a test loads the logs and reads back what the
 * driver received. Plain C, built for both sides. */
#ifndef VEKDIAG_TEST_H
#define VEKDIAG_TEST_H

#define VT_ADAPTERS 2

/* The control channel is a device of its own, so that what a test asks it never
 * shows up among the requests recorded on the adapters' channels. */
#define VT_CONTROL_DOS_NAME "\\\\.\\VekDiagTestControl"

#define VT_CTL(fn) (((0x8000u) << 16) | ((fn) << 2)) /* METHOD_BUFFERED, any access */
/* in: struct vt_load_header then the bytes; appends them to one log */
#define VT_CTL_LOAD VT_CTL(0x900u)
/* in: ULONG adapter; out: struct vt_state */
#define VT_CTL_STATE VT_CTL(0x901u)
/* out: struct vt_request[]; the record is emptied */
#define VT_CTL_TAKE_REQUESTS VT_CTL(0x902u)

/* channel numbers, also the order of the per-adapter devices */
#define VT_CONFIGURE 0
#define VT_TEXT_LOG 1
#define VT_TIMING_LOG 2

/* vt_request.kind */
#define VT_OPEN 1
#define VT_CLOSE 2
#define VT_IOCTL 3

struct vt_load_header {
    unsigned int adapter;
    unsigned int channel; /* VT_TEXT_LOG or VT_TIMING_LOG */
};

struct vt_state {
    unsigned int options;
    unsigned int logLevel;
    unsigned int clearCount;
    unsigned int textLeft; /* bytes not read yet */
    unsigned int timingLeft;
};

struct vt_request {
    unsigned int adapter;
    unsigned int channel;
    unsigned int kind;
    unsigned int share; /* open; Wine 8 hands the driver no access mask */
    unsigned int code;  /* ioctl */
    unsigned int inLength;
    unsigned int outLength;
    unsigned int words[4]; /* ioctl: the first input words */
    unsigned int status;   /* what the driver answered */
};

#define VT_MAX_REQUESTS 256

#endif
