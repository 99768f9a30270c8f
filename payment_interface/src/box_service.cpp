#include "box_service.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "gbk_text.h"
#include "journal.h"
#include "library_lock.h"
#include "log.h"
#include "messages.h"
#include "operations.h"
#include "platform/platform.h"
#include "signing.h"

namespace vortal {

namespace {

// The shared record as the box service lays it out. The library writes the order number and
// the amount and reads the machine number and the key; the rest is the box service's own.
constexpr std::size_t kRecordSize = 356;
constexpr std::size_t kOrderNoOffset = 0;
constexpr std::size_t kAmountOffset = 48;
constexpr std::size_t kMachineNoOffset = 96;
constexpr std::size_t kKeyOffset = 144;
constexpr std::size_t kSlotSize = 48;
constexpr std::size_t kKeySlotSize = 128;

constexpr std::size_t kWorkSize = 512;
constexpr std::size_t kFragmentHalf = 5;
constexpr std::size_t kShownKeyLength = 4;
constexpr char kBoxConfigFileName[] = "Z_Config.ini";

struct BoxOrder {
    char request_id[kRequestIdSize];
    char machine_no[kSlotSize];
    char key[kKeySlotSize];
};

// The log shows only the key's first characters; a key too short to keep anything back
// shows none.
std::string masked_key(std::string_view key) {
    if (key.empty()) return std::string();
    if (key.size() <= kShownKeyLength) return "****";
    return std::string(key.substr(0, gbk::whole_length(key.substr(0, kShownKeyLength)))) + "****";
}

std::string_view slot_text(const unsigned char* view, std::size_t offset, std::size_t size) {
    const char* slot = reinterpret_cast<const char*>(view + offset);
    return std::string_view(slot, strnlen(slot, size - 1));
}

// Under the library lock: the new order's request id (from the shared order counter) and
// amount go into the shared record, the machine number and the key come out of it. Without
// the lock the record is not touched.
void exchange_with_record(const TransRequest& request, BoxOrder& order) {
    const LibraryLockHold hold(longest_lock_wait_ms());
    if (!hold.held()) {
        write_log("[NET]:等待库锁超时，未读取共享内存\n");
        return;
    }
    platform::BoxRecord record;
    if (const std::uint32_t error = record.open()) {
        write_log("[NET]:打开文件映射失败%u\n", error);
        return;
    }
    if (const std::uint32_t error = record.map(kRecordSize)) {
        write_log("[NET]:映射共享内存到本进程失败Error=%u\n", error);
        return;
    }
    unsigned char* view = record.view();
    std::memset(view + kOrderNoOffset, 0, kMachineNoOffset - kOrderNoOffset);
    const OrderNumber number = order_sequence().take_order_number(platform::local_time());
    const platform::LocalTime& t = number.time;
    format_bounded(order.request_id, sizeof order.request_id, "%02d%02d%02d%02d%03u", t.month,
                   t.day, t.hour, t.minute, number.number);
    copy_bounded(reinterpret_cast<char*>(view + kOrderNoOffset), kSlotSize, order.request_id);
    copy_bounded(reinterpret_cast<char*>(view + kAmountOffset), kSlotSize, request.amount);

    copy_bounded(order.machine_no, slot_text(view, kMachineNoOffset, kSlotSize));
    write_log("[NET]:打开文件映射获取机具号%s\n", order.machine_no);
    copy_bounded(order.key, slot_text(view, kKeyOffset, kKeySlotSize));
    write_log("[NET]:打开文件映射获取私钥%s\n", masked_key(order.key).c_str());
}

// The opening steps of both operations. False when the box gave no machine number or no key:
// the operation then ends without a result.
bool read_box(const TransRequest& request, BoxOrder& order) {
    std::memset(&order, 0, sizeof order);
    exchange_with_record(request, order);
    if (order.machine_no[0] == '\0') {
        write_log("[NET]:组建二维码地址失败 MachineNo为空 !\n");
        return false;
    }
    if (order.key[0] == '\0') {
        write_log("[NET]:组建二维码地址失败 Key为空 !\n");
        return false;
    }
    write_log("[NET]:组建二维码地址参数Money:%s OrderNo:%s DeskNo:%s!\n", request.amount,
              order.request_id, request.description);
    return true;
}

// Tells the box service to upload the order now in the shared record. A box service that
// cannot be told does not undo the operation.
void announce_order(std::string_view address) {
    switch (platform::signal_box_upload()) {
        case platform::UploadSignal::set:
            write_log("[NET]:设置上传订单信息变量---成功\n");
            break;
        case platform::UploadSignal::set_failed:
            write_log("[NET]:设置上传订单信息变量---失败\n");
            break;
        case platform::UploadSignal::not_opened:
            write_log("[NET]:上传订单信息互斥量无效:\n");
            break;
    }
    write_log("[NET]:组建二维码地址为%.*s:\n", static_cast<int>(address.size()), address.data());
}

std::unique_ptr<char[]> work_buffer() {
    return std::unique_ptr<char[]>(new (std::nothrow) char[kWorkSize]());
}

}  // namespace

bool read_qr_host(char (&host)[kQrHostSize], std::string& config_path) {
    host[0] = '\0';
    char folder[kPathSize];
    config_path = box_service_folder(folder)
                      ? std::string(folder) + platform::kPathSeparator + kBoxConfigFileName
                      : std::string(kBoxConfigFileName);
    if (config_path.size() >= kPathSize) return false;
    platform::ProfileFile(config_path.c_str())
        .text("HOSTINFO", "TwoCodeAddr", "", host, sizeof host);
    return host[0] != '\0';
}

std::size_t percent_encode(std::string_view text, char* out, std::size_t size) {
    if (size == 0) return 0;
    out[0] = '\0';
    std::size_t length = 0;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        const bool kept = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                          (c >= '0' && c <= '9') || c == '-' || c == '.' || c == '~';
        const std::size_t needed = kept || c == ' ' ? 1 : 3;
        if (length + needed >= size) {
            out[0] = '\0';
            return 0;
        }
        if (kept) {
            out[length] = c;
        } else if (c == ' ') {
            out[length] = '+';
        } else {
            out[length] = '%';
            hex_encode(&byte, 1, out + length + 1);
        }
        length += needed;
    }
    out[length] = '\0';
    return length;
}

bool build_box_qr_address(TransRequest request, TransResult& result) {
    const std::uint32_t started = platform::tick_count_ms();
    BoxOrder order;
    if (!read_box(request, order)) return false;
    copy_bounded(request.request_id, order.request_id);

    char qr_host[kQrHostSize];
    std::string config_path;
    if (!read_qr_host(qr_host, config_path)) {
        write_log("[NET]:获取二维码地址失败：Ini文件%s!\n", config_path.c_str());
        return false;
    }
    char parameters[kWorkSize];
    format_bounded(parameters, sizeof parameters, "%s|%s|%s|%s", order.machine_no, request.amount,
                   order.request_id, request.description);
    write_log("[NET]:组建二维码地址机具号+参数:%s!\n", parameters);

    const std::unique_ptr<char[]> payload = work_buffer();
    const std::unique_ptr<char[]> encoded = work_buffer();
    if (!payload || !encoded) return false;

    // The payload carries the first and the last five digits of the parameters' signature.
    char signature[kSignatureSize];
    if (!sign(parameters, order.key, signature)) return false;
    const std::string_view digits(signature);
    char signed_text[kWorkSize];
    format_bounded(signed_text, sizeof signed_text, "%.*s%.*s|%s", static_cast<int>(kFragmentHalf),
                   digits.data(), static_cast<int>(kFragmentHalf),
                   digits.substr(digits.size() - kFragmentHalf).data(), parameters);
    write_log("[NET]:组建二维码地址机具号+参数BASE64编码前%s!\n", signed_text);
    debug_trace(msg::kQrEncode, signed_text);

    // Cutting the payload or the address would give an address that looks right but cannot be
    // paid at: a text too long for its buffer ends the operation instead.
    char address[kConversionSize];
    const bool fits = base64_encode(signed_text, payload.get(), kWorkSize) > 0 &&
                      percent_encode(payload.get(), encoded.get(), kWorkSize) > 0 &&
                      std::snprintf(address, sizeof address, "http://%s/pay/n/%s", qr_host,
                                    encoded.get()) < static_cast<int>(sizeof address);
    if (!fits) {
        write_log("[NET]:组建二维码地址失败 二维码地址超长 !\n");
        return false;
    }
    // The box service uploads the order once told: from here on it may be paid.
    const JournalEntry journal(request, result);
    if (!journal.recorded()) return not_recorded(result);
    announce_order(address);
    debug_trace(msg::kQrEncodeTime, static_cast<int>(platform::tick_count_ms() - started));

    store_address(result, address);
    copy_bounded(result.code, "00");
    copy_bounded(result.request_id, order.request_id);
    return true;
}

bool create_box_order(TransRequest request, TransResult& result) {
    BoxOrder order;
    if (!read_box(request, order)) return false;
    copy_bounded(request.request_id, order.request_id);
    copy_bounded(request.sign_key, order.key);

    Address address;
    const MachineOrder machine_order{
        request.server_path, order.machine_no,   order.request_id, request.amount,
        request.description, request.extra_info, order.key};
    if (!build_machine_order(machine_order, address)) return not_built(result);
    // The box service is told of every order the service created, also of one whose address
    // could not be handed on.
    if (!obtain_payment_address(request, address, result)) return false;
    const bool succeeded = has_code(result, "00");
    announce_order(succeeded ? stored_address(result) : std::string_view());
    return succeeded;
}

}  // namespace vortal
