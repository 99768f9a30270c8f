/* Vortal, the payment interface library: the one export and the result record it returns.
 *
 * The point-of-sale program reads the result record by layout, so every offset below is
 * part of the interface. All fields are NUL-terminated GBK texts. */
#ifndef VORTAL_H
#define VORTAL_H

#if defined(_WIN32)
/* Undecorated export name through the module definition file; the callee pops its argument. */
#define VORTAL_CALL __stdcall
#define VORTAL_EXPORT
#else
#define VORTAL_CALL
#define VORTAL_EXPORT __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

typedef struct TransResult {
    char code[3];      /* "00" success, "01" to "06" failures, empty when nothing ran */
    char message[201]; /* for created orders the payment address, which may run on
                          over the next two fields (up to 260 bytes from offset 3) */
    char merchant_name[31];
    char shop_no[31];
    char bank_order_no[13];
    char request_id[31];
    char status[11]; /* "SUCCESS", "INIT" or "REFUND" */
    char order_amount[13];
    char save_amount[13];
    char amount[13];
    char trade_time[21]; /* local time at which a scan-pay was accepted */
    char order_time[21];
    char cashier_no[51];
    char refund_time[21];
} TransResult;

/* Performs the one operation that the "|"-terminated request text names. The record
 * belongs to the calling thread and stays valid until that thread's next call. */
VORTAL_EXPORT TransResult* VORTAL_CALL Z_ALITrans(const char* input);

#ifdef __cplusplus
}

#include <cstddef>

static_assert(sizeof(TransResult) == 474, "TransResult is read by layout");
static_assert(offsetof(TransResult, code) == 0);
static_assert(offsetof(TransResult, message) == 3);
static_assert(offsetof(TransResult, merchant_name) == 204);
static_assert(offsetof(TransResult, shop_no) == 235);
static_assert(offsetof(TransResult, bank_order_no) == 266);
static_assert(offsetof(TransResult, request_id) == 279);
static_assert(offsetof(TransResult, status) == 310);
static_assert(offsetof(TransResult, order_amount) == 321);
static_assert(offsetof(TransResult, save_amount) == 334);
static_assert(offsetof(TransResult, amount) == 347);
static_assert(offsetof(TransResult, trade_time) == 360);
static_assert(offsetof(TransResult, order_time) == 381);
static_assert(offsetof(TransResult, cashier_no) == 402);
static_assert(offsetof(TransResult, refund_time) == 453);
#endif

#endif /* VORTAL_H */
