#pragma once
// An ASSERT_* that fails inside a helper function returns from the helper only, and the test
// goes on with what the helper did not do. This listener turns every fatal failure into an
// exception that GoogleTest catches at the test's own frame, so the test stops there, wherever
// the assertion was written. The failure is recorded before the exception is thrown.

#include <exception>
#include <gtest/gtest.h>

namespace pelldrake::test {

class StopOnFatalFailure : public ::testing::EmptyTestEventListener {
public:
    void OnTestPartResult(const ::testing::TestPartResult &result) override
    {
        // (Called with GoogleTest's lock held: nothing here may ask the UnitTest for anything.)
        if (result.fatally_failed() && std::uncaught_exceptions() == 0)
            throw ::testing::AssertionException(result);
    }

    // After InitGoogleTest; appended behind the printer, so the failure is printed first.
    static void install() { ::testing::UnitTest::GetInstance()->listeners().Append(new StopOnFatalFailure); }
};

} // namespace pelldrake::test
