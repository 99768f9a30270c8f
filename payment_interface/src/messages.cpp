#include "messages.h"

namespace vortal::msg {

const char kBadInput[] = "传入参数错误";
const char kRequestNotBuilt[] = "组包失败，参数异常";
const char kNetworkFailed[] = "网络请求发送失败，请确认当前网络环境";
const char kSignatureMismatch[] = "签名数据不匹配，严重错误";
const char kNoData[] = "请求结果返回信息为空";
const char kUnknownStatus[] = "未知账单类型";
const char kScanPaySucceeded[] = "微信被扫支付成功";
const char kCustomerDidNotPay[] = "用户超时未支付";
const char kOrderRefunded[] = "订单已退款，未收款";
const char kPaymentUnknown[] = "支付结果未知，请查询订单或留待日终对账，勿让顾客重复付款";
const char kRefundSucceeded[] = "退款成功";
const char kRefundNotYetShown[] = "退款已受理，但订单仍未显示已退款，请稍后查询订单";
const char kNotRecorded[] = "支付流水无法写入，交易未发送";

const char kModuleNotFound[] = "获取当前DLL句柄失败";
const char kAnswerSignatureWrong[] = "ZRL:响应数据签名不对,严重情况!!!\n";
const char kCreateOrderSent[] = "发送成功";
const char kCreateOrderRefused[] = "返回数据错误";
const char kInternalError[] = "Z_ALITrans:内部错误\n";
const char kHttpOpenFailed[] = "InternetOpen失败";
const char kHttpConnectFailed[] = "InternetConnect失败";
const char kHttpOpenRequestFailed[] = "HttpOpenRequest请求失败";
const char kHttpSendFailed[] = "HttpSendRequest请求失败";
const char kHttpQueryInfoFailed[] = "HttpQueryInfo请求失败";
const char kHttpStatusNotOk[] = "HTTP_STATUS_OK失败";
const char kHttpReadFailed[] = "InternetReadFile失败";
const char kHttpBodyTooLong[] = "InternetReadFile失败:应答超出缓冲区";
const char kHttpBodyCutShort[] = "InternetReadFile失败:应答在结束前中断";
const char kHttpBadLength[] = "InternetReadFile失败:应答长度(Content-Length)矛盾或无效";

}  // namespace vortal::msg
