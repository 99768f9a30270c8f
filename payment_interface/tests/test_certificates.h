// The certificates of the HTTPS tests, made afresh in a folder of their own by
// make_test_certificates.sh: ca.pem (ca.der), and for the key server.key server.pem
// (localhost), misnamed.pem, expired.pem and untrusted.pem.
#pragma once

#include <cstdlib>
#include <string>

#include "test_support.h"

namespace test_support {

class TestCertificates {
  public:
    TestCertificates()
        : made_(std::system(
                    ("'" VORTAL_CERTIFICATES_SCRIPT "' '" + dir_.path().string() + "'").c_str()) ==
                0) {}

    bool made() const { return made_; }
    std::string file(const std::string& name) const { return dir_.file(name); }

  private:
    TempDir dir_;
    bool made_;
};

}  // namespace test_support
