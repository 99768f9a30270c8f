#include "receipt.h"

#include <cstdarg>
#include <cstddef>
#include <cstring>
#include <string_view>

#include "platform/platform.h"

namespace vortal {

namespace {

constexpr std::size_t kLineSize = 4096;
constexpr char kRule[] = "------------------------\r\n";

class ReceiptFile {
  public:
    // Always a new file: a receipt never shows anything of the one before.
    explicit ReceiptFile(const char* path) {
        if (path[0] == '\0') return;
        if (platform::file_exists(path)) platform::delete_file(path);
        writable_ = file_.create(path);
    }

    // One formatted line, cut to 4095 bytes.
    void line(const char* format, ...) VORTAL_PRINTF_FORMAT(2, 3) {
        if (!writable_) return;
        char text[kLineSize];
        va_list args;
        va_start(args, format);
        format_bounded_v(text, sizeof text, format, args);
        va_end(args);
        put(std::string_view(text, strnlen(text, sizeof text)));
    }

    // Each line goes out in one write; after a failed write nothing more is written.
    void put(std::string_view text) {
        if (writable_) writable_ = file_.write(text);
    }

  private:
    platform::OutputFile file_;
    bool writable_ = false;
};

bool is_status(const TransResult& result, const char* status) {
    return std::strcmp(result.status, status) == 0;
}

void write_payment_receipt(ReceiptFile& receipt, const TransResult& result) {
    receipt.put("泽瑞诺微信支付签购单（存根），请妥善保管\r\n");
    receipt.put(kRule);
    receipt.line("店铺名称：%s\r\n", result.merchant_name);
    receipt.line("店铺编号：%s\r\n", result.shop_no);
    receipt.line("收银员号：%s\r\n", result.cashier_no);
    if (is_status(result, "SUCCESS")) {
        receipt.put("交易类型：微信支付\r\n");
        receipt.line("订单编号：%s\r\n", result.request_id);
        receipt.line("银行单号：******%s\r\n", result.bank_order_no);
        receipt.line("创建时间：%s\r\n", result.trade_time);
        receipt.line("交易时间：%s\r\n", result.order_time);
        receipt.line("订单金额：RMB%s\r\n", result.order_amount);
        receipt.line("优惠金额：RMB%s\r\n", result.save_amount);
        receipt.line("实付金额：RMB%s\r\n", result.amount);
    } else if (is_status(result, "REFUND")) {
        receipt.put("交易类型：退款\r\n");
        receipt.line("订单编号：%s\r\n", result.request_id);
        receipt.line("银行单号：******%s\r\n", result.bank_order_no);
        receipt.line("结账时间：%s\r\n", result.order_time);
        receipt.line("退款时间：%s\r\n", result.refund_time);
        receipt.line("退款金额：RMB%s\r\n", result.amount);
    } else if (is_status(result, "INIT")) {
        receipt.put("交易类型：未支付\r\n");
        receipt.line("订单编号：%s\r\n", result.request_id);
        receipt.line("创建时间：%s\r\n", result.trade_time);
        receipt.line("订单金额：RMB%s\r\n", result.order_amount);
        receipt.line("优惠金额：RMB%s\r\n", result.save_amount);
    }
    receipt.put(kRule);
    receipt.put("持卡人签名：\r\n");
    receipt.put("\r\n\r\n\r\n");
    receipt.put(kRule);
}

void write_qr_code_receipt(ReceiptFile& receipt, const TransResult& result) {
    const std::string_view address = stored_address(result);
    // A long address runs on over the shop-number field, which then holds no shop number.
    const bool address_covers_shop_no =
        address.size() >= offsetof(TransResult, shop_no) - offsetof(TransResult, message);
    receipt.put("主扫二维信息生成完毕\r\n");
    receipt.put(kRule);
    receipt.line("店铺编号：%s\r\n", address_covers_shop_no ? "" : result.shop_no);
    receipt.line("生成的订单编号：%s\r\n", result.request_id);
    receipt.put(kRule);
    receipt.line("生成的二维码：%.*s\r\n", static_cast<int>(address.size()), address.data());
}

}  // namespace

void write_receipt(const TransRequest& request, const TransResult& result) {
    ReceiptFile receipt(request.receipt_file);
    switch (request.operation) {
        case Operation::create_order:
        case Operation::machine_order:
        case Operation::box_qr_address:
            write_qr_code_receipt(receipt, result);
            break;
        default:
            write_payment_receipt(receipt, result);
            break;
    }
}

}  // namespace vortal
