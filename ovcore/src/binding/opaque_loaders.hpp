#pragma once
// Loaders turn Python settings objects into opaque objects, chosen by the
// fully qualified name of the object's class. Loaders register at load time,
// before any Python code runs; the registry never changes afterwards.

#include <memory>
#include <string_view>

#include "ovcore/src/binding/py_error.hpp"
#include "ovcore/src/utils/load_order.hpp"
#include "ovcore/src/utils/opaque.hpp"
#include "ovcore/src/utils/static_list.hpp"

namespace ovcore::binding {

struct PyOpaqueObjectLoadersRegistry {
  std::string_view type_name;  // e.g. "ovpi.api.ext.ovlog.LogCreateInfoEXT"
  PyResult<std::unique_ptr<utils::opaque::OpaqueObject>> (*load)(BorrowedRef obj);
};

using LoaderList = utils::StaticList<PyOpaqueObjectLoadersRegistry>;

LoaderList& loader_registry() noexcept;

// Dispatches `obj` to the loader registered for its class's fully qualified
// name (exact bytes; newest registration first). With no such loader, prints
// one line on file descriptor 1 and returns a TypeError with the same text.
PyResult<std::unique_ptr<utils::opaque::OpaqueObject>> extract_opaque_object(BorrowedRef obj);

}  // namespace ovcore::binding
