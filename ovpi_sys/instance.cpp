#include "ovpi_sys/instance.hpp"

#include <memory>
#include <new>

#include "ovcore/src/base/instance_context.hpp"
#include "ovcore/src/binding/base/api_py.hpp"
#include "ovcore/src/binding/call_boundary.hpp"
#include "ovcore/src/binding/py_text.hpp"
#include "ovcore/src/utils/fatal.hpp"
#include "ovcore/src/utils/try.hpp"
#include "ovpi_sys/arguments.hpp"
#include "ovpi_sys/live_instances.hpp"

namespace ovpi_sys {
namespace {

using ovcore::base::InstanceContext;

struct InstanceObject {
  PyObject_HEAD LiveInstance live;
};

// Gives the handle's memory back on every path, also when the teardown
// failed fatally: the teardown has completed by then either way.
class FreeOnExit {
 public:
  explicit FreeOnExit(PyObject* self) : self_(self) {}
  ~FreeOnExit() {
    PyTypeObject* type = Py_TYPE(self_);
    type->tp_free(self_);
    Py_DECREF(type);  // instances of heap types own a reference to their type
  }
  FreeOnExit(const FreeOnExit&) = delete;
  FreeOnExit& operator=(const FreeOnExit&) = delete;

 private:
  PyObject* self_;
};

void instance_dealloc(PyObject* self) {
  ovcore::binding::call_dealloc([self] {
    if (Py_TYPE(self)->tp_free == nullptr) throw ovcore::utils::FatalError("Instance type has no free slot");
    FreeOnExit free_memory(self);
    auto* instance = reinterpret_cast<InstanceObject*>(self);
    std::shared_ptr<InstanceContext> context = untrack(instance->live);
    std::destroy_at(&instance->live);
    if (context != nullptr) ovcore::base::release(std::move(context));
  });
}

PyTypeObject* created_type = nullptr;  // made once, by the module object's maker

}  // namespace

PyResult<PyTypeObject*> instance_type() {
  if (created_type != nullptr) return created_type;
  static PyType_Slot slots[] = {
      {Py_tp_dealloc, reinterpret_cast<void*>(&instance_dealloc)},
      {Py_tp_doc, const_cast<char*>("Opaque handle to a running Orvantis instance exposed to Python callers.")},
      {0, nullptr},
  };
  static PyType_Spec spec = {
      .name = "builtins.Instance",
      .basicsize = static_cast<int>(sizeof(InstanceObject)),
      .itemsize = 0,
      .flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_DISALLOW_INSTANTIATION,
      .slots = slots,
  };
  PyObject* type = PyType_FromSpec(&spec);
  if (type == nullptr) return ovcore::binding::fetched_error();
  created_type = reinterpret_cast<PyTypeObject*>(type);
  return created_type;
}

PyObject* ov_create_instance(PyObject*, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) {
  return ovcore::binding::call_function([&]() -> PyResult<OwnedRef> {
    BorrowedRef argument =
        OV_TRY(bind_one_argument("_ov_create_instance", "instance_create_info", args, nargsf, kwnames));
    OV_TRY(register_exit_teardown());

    auto create_info = ovcore::binding::base::extract_instance_create_info(argument);
    if (!create_info) {
      const PyError& error = create_info.error();
      return ovcore::binding::type_error("Invalid InstanceCreateInfo: " +
                                         ovcore::binding::lossy_text(error.type_qualname()) + ": " + error.lossy_str());
    }

    auto created = ovcore::base::api::create_instance(std::move(*create_info));
    if (!created) {
      return std::unexpected(
          PyError::lazy(PyExc_RuntimeError, "Failed to create instance: " + created.error().to_string()));
    }

    PyTypeObject* type = OV_TRY(instance_type());
    auto alloc = reinterpret_cast<allocfunc>(PyType_GetSlot(type, Py_tp_alloc));
    PyObject* object = alloc(type, 0);
    if (object == nullptr) {
      // LCOV_EXCL_START: only when the interpreter runs out of memory
      PyError error = PyError::fetch();  // before the teardown runs Python code
      ovcore::base::release(std::move(*created));
      return std::unexpected(std::move(error));
      // LCOV_EXCL_STOP
    }
    LiveInstance* live = new (&reinterpret_cast<InstanceObject*>(object)->live) LiveInstance{};
    live->context = std::move(*created);
    track(*live);
    return OwnedRef::steal(object);
  });
}

}  // namespace ovpi_sys
