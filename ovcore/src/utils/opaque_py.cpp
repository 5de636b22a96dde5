#include "ovcore/src/utils/opaque_py.hpp"

#include <unistd.h>

#include <string>
#include <vector>

#include "ovcore/src/utils/list_literal.hpp"
#include "ovcore/src/utils/write_all.hpp"

namespace ovcore::utils::opaque {
namespace {
constinit LoaderList loaders;
}  // namespace

LoaderList& loader_registry() noexcept { return loaders; }

python::PyResult<std::unique_ptr<OpaqueObject>> extract_opaque_object(python::BorrowedRef obj) {
  python::OwnedRef name_object =
      python::OwnedRef::steal(PyType_GetFullyQualifiedName(Py_TYPE(obj.get())));
  if (!name_object) return python::fetched_error();
  python::PyResult<std::string> name = python::utf8_of(name_object.borrow());
  if (!name) return std::unexpected(std::move(name.error()));

  for (const PyOpaqueObjectLoadersRegistry& entry : loaders) {
    if (entry.type_name == *name) return entry.load(obj);
  }

  std::vector<std::string_view> known;
  for (const PyOpaqueObjectLoadersRegistry& entry : loaders) known.push_back(entry.type_name);
  std::string text = "No loader registered for type '" + *name + "'. Possible types are: " + list_literal(known);
  (void)write_all(STDOUT_FILENO, text + "\n");
  return python::type_error(std::move(text));
}

}  // namespace ovcore::utils::opaque
