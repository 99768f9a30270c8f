// Vortal.dll over HTTPS through WinINet under wine, against the Linux substitute aggregator
// serving TLS on loopback (started by run_windows_https.sh): on VORTAL_HTTPS_PORT with a
// certificate for localhost signed by the test CA (VORTAL_TEST_CA, DER), on
// VORTAL_UNTRUSTED_HTTPS_PORT with one signed by a CA nobody trusts, and a tinyproxy on
// VORTAL_HTTPS_PROXY_PORT that tunnels to the first.
#include <gtest/gtest.h>
#include <windows.h>
// After windows.h, which it needs.
#include <wincrypt.h>

#include <cstdlib>
#include <string>

#include "debugger_output.h"
#include "http_failure_lines.h"
#include "library_fixture.h"

namespace {

std::string environment(const char* name) {
    const char* value = std::getenv(name);
    return value == nullptr ? "" : value;
}

HCERTSTORE machine_roots() {
    return CertOpenStore(CERT_STORE_PROV_SYSTEM_A, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE, "Root");
}

// The test CA among the machine's trusted roots, where WinINet looks, for the life of the
// object; then it is gone again. Each change is committed at once, for the chain engine reads
// the store afresh.
class TrustedRoot {
  public:
    explicit TrustedRoot(const std::string& der) : store_(machine_roots()) {
        if (store_ == nullptr) return;
        CertAddEncodedCertificateToStore(
            store_, X509_ASN_ENCODING, reinterpret_cast<const BYTE*>(der.data()),
            static_cast<DWORD>(der.size()), CERT_STORE_ADD_REPLACE_EXISTING, &added_);
        CertControlStore(store_, 0, CERT_STORE_CTRL_COMMIT, nullptr);
    }
    ~TrustedRoot() {
        if (added_ != nullptr) CertDeleteCertificateFromStore(added_);
        if (store_ == nullptr) return;
        CertControlStore(store_, 0, CERT_STORE_CTRL_COMMIT, nullptr);
        CertCloseStore(store_, 0);
    }
    TrustedRoot(const TrustedRoot&) = delete;
    TrustedRoot& operator=(const TrustedRoot&) = delete;

    bool added() const { return added_ != nullptr; }

  private:
    HCERTSTORE store_;
    PCCERT_CONTEXT added_ = nullptr;
};

bool among_machine_roots(const std::string& der) {
    const HCERTSTORE store = machine_roots();
    PCCERT_CONTEXT certificate =
        CertCreateCertificateContext(X509_ASN_ENCODING, reinterpret_cast<const BYTE*>(der.data()),
                                     static_cast<DWORD>(der.size()));
    PCCERT_CONTEXT found = CertFindCertificateInStore(store, X509_ASN_ENCODING, 0,
                                                      CERT_FIND_EXISTING, certificate, nullptr);
    const bool there = found != nullptr;
    CertFreeCertificateContext(found);
    CertFreeCertificateContext(certificate);
    CertCloseStore(store, 0);
    return there;
}

}  // namespace

TEST(WindowsHttps, ATrustedServiceAnswersDirectlyAndThroughAProxyAnUntrustedOneNever) {
    const std::string ca = test_support::read_file(environment("VORTAL_TEST_CA"));
    ASSERT_FALSE(ca.empty()) << "run by run_windows_https.sh";
    {
        const TrustedRoot root(ca);
        ASSERT_TRUE(root.added());
        test_support::LoadedLibrary library;
        test_support::Settings settings;
        settings.host = "localhost";  // the certificate's name; one for 127.0.0.1 fails (12038)
        settings.protocol = "https";
        settings.port =
            static_cast<std::uint16_t>(std::atoi(environment("VORTAL_HTTPS_PORT").c_str()));
        library.configure(settings);
        test_support::DebuggerOutput creating;
        const TransResult* created = library.call("Z3|A1|k3y|1.00|cake||");
        ASSERT_STREQ(created->code, "00") << creating.take();
        const std::string query = "Z4|A1|k3y|" + std::string(created->request_id) + "|";
        EXPECT_STREQ(library.call(query)->code, "00");

        settings.proxy = "127.0.0.1:" + environment("VORTAL_HTTPS_PROXY_PORT");
        library.configure(settings);
        EXPECT_STREQ(library.call(query)->code, "00") << "by CONNECT through the proxy";

        settings.proxy.clear();
        settings.port = static_cast<std::uint16_t>(
            std::atoi(environment("VORTAL_UNTRUSTED_HTTPS_PORT").c_str()));
        library.configure(settings);
        test_support::DebuggerOutput debugger;
        EXPECT_STREQ(library.call(query)->code, "02");
        const std::string debug = debugger.take();
        EXPECT_NE(debug.find(std::string(test_support::kHttpsFailedPrefix) + "WinINet 120"),
                  std::string::npos)
            << debug;
    }
    EXPECT_FALSE(among_machine_roots(ca)) << "the test CA stayed in the prefix";
}
