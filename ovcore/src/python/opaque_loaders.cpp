#include "ovcore/src/python/opaque_loaders.hpp"

#include <unistd.h>

#include <string>
#include <vector>

#include "ovcore/src/utils/list_literal.hpp"
#include "ovcore/src/utils/try.hpp"
#include "ovcore/src/utils/write_all.hpp"

namespace ovcore::python {
namespace {
constinit LoaderList loaders;
}  // namespace

LoaderList& loader_registry() noexcept { return loaders; }

PyResult<std::unique_ptr<utils::opaque::OpaqueObject>> extract_opaque_object(BorrowedRef obj) {
  OwnedRef name_object =
      OwnedRef::steal(PyType_GetFullyQualifiedName(Py_TYPE(obj.get())));
  if (!name_object) return fetched_error();
  const std::string name = OV_TRY(utf8_of(name_object.borrow()));

  for (const PyOpaqueObjectLoadersRegistry& entry : loaders) {
    if (entry.type_name == name) return entry.load(obj);
  }

  std::vector<std::string_view> known;
  for (const PyOpaqueObjectLoadersRegistry& entry : loaders) known.push_back(entry.type_name);
  std::string text = "No loader registered for type '" + name + "'. Possible types are: " + utils::list_literal(known);
  (void)utils::write_all(STDOUT_FILENO, text + "\n");
  return type_error(std::move(text));
}

}  // namespace ovcore::python
