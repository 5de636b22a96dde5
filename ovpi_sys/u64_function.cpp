#include "ovpi_sys/u64_function.hpp"

#include "ovcore/src/utils/fatal.hpp"

namespace ovpi_sys::detail {

// LCOV_EXCL_START: only when the interpreter runs out of memory
void result_int_not_created() {
  PyErr_Clear();
  throw ovcore::utils::FatalError("could not create the result int");
}
// LCOV_EXCL_STOP

}  // namespace ovpi_sys::detail
