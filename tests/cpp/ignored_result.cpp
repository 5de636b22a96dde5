// Compiled by a test that expects it to fail: a result dropped unread.
#include "ovcore/src/utils/error.hpp"

ovcore::utils::OvResult<int> answer() { return 42; }

void drop() { answer(); }
