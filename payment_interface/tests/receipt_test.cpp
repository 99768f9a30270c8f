#include "receipt.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "test_support.h"

using namespace vortal;
using test_support::read_file;
using test_support::TempDir;
using test_support::write_file;

namespace {

std::string expected(const char* name) {
    return read_file(std::string(VORTAL_RECEIPTS_DIR) + "/" + name);
}

TransResult queried_order(const char* status) {
    TransResult result;
    std::memset(&result, 0, sizeof result);
    copy_bounded(result.code, "00");
    copy_bounded(result.merchant_name, "泽瑞诺烘焙");
    copy_bounded(result.shop_no, "S0731");
    copy_bounded(result.cashier_no, "收银员01");
    copy_bounded(result.status, status);
    copy_bounded(result.request_id, "03030905007T1");
    copy_bounded(result.bank_order_no, "420000000777");
    copy_bounded(result.trade_time, "2026-03-03 09:05");
    copy_bounded(result.order_time, "2026-03-03 09:05:07");
    copy_bounded(result.refund_time, "2026-03-04 10:00:00");
    copy_bounded(result.order_amount, "12.50");
    copy_bounded(result.save_amount, "0.50");
    copy_bounded(result.amount, "12.00");
    return result;
}

class ReceiptTest : public testing::Test {
  protected:
    TransRequest request(Operation operation) const {
        TransRequest request;
        std::memset(&request, 0, sizeof request);
        request.operation = operation;
        request.print_flag = 1;
        copy_bounded(request.receipt_file, file_);
        return request;
    }

    std::string written() const { return read_file(file_); }

    TempDir dir_;
    std::string file_ = dir_.file("receipt.txt");
};

}  // namespace

TEST_F(ReceiptTest, PaymentReceiptsCarryTheBlockOfTheOrderStatus) {
    write_receipt(request(Operation::query), queried_order("SUCCESS"));
    EXPECT_EQ(written(), expected("paid.txt"));
    write_receipt(request(Operation::refund), queried_order("REFUND"));
    EXPECT_EQ(written(), expected("refunded.txt"));
    write_receipt(request(Operation::scan_pay), queried_order("INIT"));
    EXPECT_EQ(written(), expected("unpaid.txt"));
    for (const char* status : {"CLOSED", "success", ""}) {
        write_receipt(request(Operation::query), queried_order(status));
        EXPECT_EQ(written(), expected("other_status.txt")) << status;
    }
}

TEST_F(ReceiptTest, QrCodeReceiptShowsTheOrderAndTheAddress) {
    TransResult result;
    std::memset(&result, 0, sizeof result);
    copy_bounded(result.code, "00");
    store_address(result, "http://qr.example:8080/pay/n/Zm9v%2bYmFy%3d");
    copy_bounded(result.request_id, "03070905001");
    for (const Operation operation :
         {Operation::create_order, Operation::machine_order, Operation::box_qr_address}) {
        write_receipt(request(operation), result);
        EXPECT_EQ(written(), expected("qr_code.txt")) << static_cast<int>(operation);
    }
    const std::string first_line =
        "\xd6\xf7\xc9\xa8\xb6\xfe\xce\xac\xd0\xc5\xcf\xa2\xc9\xfa\xb3\xc9"
        "\xcd\xea\xb1\xcf\r\n";  // 主扫二维信息生成完毕
    EXPECT_EQ(written().substr(0, first_line.size()), first_line);
}

TEST_F(ReceiptTest, AnAddressRunningOverTheShopNumberIsPrintedWholeAndNotAsTheShopNumber) {
    TransResult result;
    std::memset(&result, 0, sizeof result);
    const std::string address = "http://qr.example/pay/n/" + std::string(259 - 24, 'a');
    store_address(result, address);
    copy_bounded(result.request_id, "03070905001");
    write_receipt(request(Operation::box_qr_address), result);
    const std::string receipt = written();
    EXPECT_NE(receipt.find("\xb5\xea\xc6\xcc\xb1\xe0\xba\xc5\xa3\xba\r\n"), std::string::npos)
        << "店铺编号： with nothing after it";
    EXPECT_NE(receipt.find("\xa3\xba" + address + "\r\n"), std::string::npos);
}

TEST_F(ReceiptTest, EveryReceiptReplacesTheFileWhole) {
    write_file(file_, std::string(5000, 'x'));
    write_receipt(request(Operation::query), queried_order("SUCCESS"));
    write_receipt(request(Operation::query), queried_order("CLOSED"));
    EXPECT_EQ(written(), expected("other_status.txt"));
}

TEST_F(ReceiptTest, NoReceiptWhereTheFileCannotBeCreated) {
    TransRequest missing_folder = request(Operation::query);
    copy_bounded(missing_folder.receipt_file, dir_.file("no such folder/receipt.txt"));
    write_receipt(missing_folder, queried_order("SUCCESS"));
    TransRequest no_path = request(Operation::query);
    no_path.receipt_file[0] = '\0';
    write_receipt(no_path, queried_order("SUCCESS"));
    EXPECT_TRUE(std::filesystem::is_empty(dir_.path()));
}
