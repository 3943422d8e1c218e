#pragma once

// The message a call raises, for tests that check the exact words an operator is shown.

#include "Exceptions.h"

#include <QString>

namespace zelk::test {

// The message of the `E` (an Exception class) that `fn` raises; "<no exception>" when
// it raises none. Any other exception passes on and fails the test.
template <class E = Exception, class Fn> QString MessageOf(Fn&& fn) {
    try {
        fn();
    } catch (const E& e) {
        return e.Message();
    }
    return QStringLiteral("<no exception>");
}

} // namespace zelk::test
