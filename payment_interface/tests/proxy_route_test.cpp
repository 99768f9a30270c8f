#include "platform/proxy_route.h"

#include <gtest/gtest.h>

using namespace vortal::platform;

namespace {

bool same(const Route& a, const Route& b) {
    return a.proxy_url == b.proxy_url && a.absolute_target == b.absolute_target;
}

}  // namespace

TEST(ProxyRoute, ConfiguredProxyElseTheEnvironmentsUnlessNoProxyCoversTheHost) {
    EXPECT_TRUE(
        same(configured_route("HTTP=HTTP://10.0.0.1:8080"), {"http://10.0.0.1:8080", true}));
    EXPECT_TRUE(same(configured_route("HTTP=HTTP://proxy/"), {"http://proxy:80", true}));

    EXPECT_TRUE(same(environment_route("pay.example", nullptr, "*"), {}));
    EXPECT_TRUE(
        same(environment_route("pay.example", "proxy:3128", nullptr), {"http://proxy:3128", true}));
    EXPECT_TRUE(same(environment_route("pay.example", "socks5h://proxy:1080", nullptr),
                     {"socks5h://proxy:1080", false}))
        << "a SOCKS proxy carries the ordinary request";
    EXPECT_TRUE(same(environment_route("pay.example", "http://proxy:1", "other, .EXAMPLE"), {}));

    EXPECT_TRUE(bypasses_proxy("*", "anything"));
    EXPECT_TRUE(bypasses_proxy("example.com", "pay.example.com"));
    EXPECT_TRUE(bypasses_proxy(" example.com ", "example.com"));
    EXPECT_FALSE(bypasses_proxy("ample.com", "example.com")) << "whole labels only";
    EXPECT_FALSE(bypasses_proxy("pay.example.com", "example.com"));
}

TEST(ProxyRoute, OnlyAnHttpProxyGetsTheAbsoluteTarget) {
    const Route direct;
    const Route proxy{"http://proxy:80", true};
    EXPECT_EQ(request_target(direct, "pay.example", 8080, "pay/api?cmd=Q"), "pay/api?cmd=Q");
    EXPECT_EQ(request_target(proxy, "pay.example", 8080, "/pay/api?cmd=Q"),
              "http://pay.example:8080/pay/api?cmd=Q");
    EXPECT_EQ(request_target(proxy, "pay.example", 80, "pay/api"), "http://pay.example/pay/api");
    EXPECT_EQ(request_target(proxy, "::1", 8080, "/x"), "http://[::1]:8080/x");
}
