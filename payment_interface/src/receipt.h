// The receipt text file that the point-of-sale program prints after a successful operation.
#pragma once

#include "records.h"

namespace vortal {

// Replaces the configured receipt file with the receipt of the result: the payment layout for
// scan-pay, refund and query, the QR-code layout for the operations that return a payment
// address. GBK, CR LF line ends. Nothing is reported: a file that cannot be created means no
// receipt, a failed write leaves the lines written so far.
void write_receipt(const TransRequest& request, const TransResult& result);

}  // namespace vortal
