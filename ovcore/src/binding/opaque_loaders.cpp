#include "ovcore/src/binding/opaque_loaders.hpp"

#include <unistd.h>

#include <string>
#include <vector>

#include "ovcore/src/binding/py_text.hpp"
#include "ovcore/src/utils/list_literal.hpp"
#include "ovcore/src/utils/write_all.hpp"

namespace ovcore::binding {
namespace {
constinit LoaderList loaders;
}  // namespace

LoaderList& loader_registry() noexcept { return loaders; }

namespace {

// The loader whose name equals the type's fully qualified name, compared in
// its two parts (module, qualified name) so that no joined string is built
// for the common case. nullptr when none matches or the parts cannot be read
// as text; the caller then takes the general path.
const PyOpaqueObjectLoadersRegistry* find_loader_by_parts(PyTypeObject* type) noexcept {
  OwnedRef module = OwnedRef::steal(PyType_GetModuleName(type));
  OwnedRef qualname = OwnedRef::steal(PyType_GetQualName(type));
  Py_ssize_t module_size = 0;
  Py_ssize_t qualname_size = 0;
  const char* module_text =
      module && PyUnicode_Check(module.get()) ? PyUnicode_AsUTF8AndSize(module.get(), &module_size) : nullptr;
  const char* qualname_text = qualname ? PyUnicode_AsUTF8AndSize(qualname.get(), &qualname_size) : nullptr;
  if (module_text == nullptr || qualname_text == nullptr) {
    PyErr_Clear();
    return nullptr;
  }
  const std::string_view module_name(module_text, static_cast<std::size_t>(module_size));
  const std::string_view qualified(qualname_text, static_cast<std::size_t>(qualname_size));
  // The fully qualified name leaves these two modules out.
  const bool bare = module_name == "builtins" || module_name == "__main__";
  for (const PyOpaqueObjectLoadersRegistry& entry : loaders) {
    const std::string_view want = entry.type_name;
    const bool match = bare ? want == qualified
                            : want.size() == module_name.size() + 1 + qualified.size() &&
                                  want.starts_with(module_name) && want[module_name.size()] == '.' &&
                                  want.ends_with(qualified);
    if (match) return &entry;
  }
  return nullptr;
}

}  // namespace

PyResult<std::unique_ptr<utils::opaque::OpaqueObject>> extract_opaque_object(BorrowedRef obj) {
  if (const PyOpaqueObjectLoadersRegistry* entry = find_loader_by_parts(Py_TYPE(obj.get()))) {
    return entry->load(obj);
  }
  OwnedRef name_object = OwnedRef::steal(PyType_GetFullyQualifiedName(Py_TYPE(obj.get())));
  if (!name_object) return fetched_error();
  // Lone surrogates stay in the name (no loader's name has them, so it matches none).
  const std::string name = utf8_with_surrogates_of(name_object.borrow()).value_or(std::string(kUnreadableTypeName));

  for (const PyOpaqueObjectLoadersRegistry& entry : loaders) {
    if (entry.type_name == name) return entry.load(obj);
  }

  std::vector<std::string_view> known;
  for (const PyOpaqueObjectLoadersRegistry& entry : loaders) known.push_back(entry.type_name);
  std::string text = "No loader registered for type '" + name + "'. Possible types are: " + utils::list_literal(known);
  (void)utils::write_all(STDOUT_FILENO, text + "\n");
  return type_error(std::move(text));
}

}  // namespace ovcore::binding
