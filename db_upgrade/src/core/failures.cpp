#include "failures.h"

namespace tessary {
namespace {

constexpr ExpectedFailure kExpected[] = {
    {2714, "object exists"},        {2705, "column exists"},
    {2627, "row exists"},           {2601, "row exists in a unique index"},
    {1779, "primary key exists"},   {1913, "index exists"},
    {3701, "nothing to drop"},      {4902, "nothing to alter"},
    {15023, "user or role exists"},
};

}  // namespace

const ExpectedFailure* expected_failure(long native_error) {
    for (const ExpectedFailure& entry : kExpected) {
        if (entry.native_error == native_error) return &entry;
    }
    return nullptr;
}

}  // namespace tessary
