/* Floors for the benchmarks: the least work CPython lets a builtin do for
 * the same result.
 *
 * fastcall, meth_o   factorial(20)'s table lookup and int creation with
 *                    nothing else, under both calling conventions a builtin
 *                    can use; a one-digit int is read in place.
 * fastcall_twin      fastcall again, a separate function with the same code:
 *                    the harness must find the two equal, or it is biased.
 * deliver            `count` log records built the way the logger's contract
 *                    asks (a fresh dict, seven fresh non-interned keys, a
 *                    naive datetime from the C API, the texts decoded) and
 *                    each passed to a callable; the message itself is fixed,
 *                    so no clock, lock or native message is involved.
 * What ovpi._sys costs beyond these is its own. */

#define PY_SSIZE_T_CLEAN
#include <Python.h>
#include <datetime.h>
#include <string.h>

static const unsigned long long table[21] = {
    1ULL,
    1ULL,
    2ULL,
    6ULL,
    24ULL,
    120ULL,
    720ULL,
    5040ULL,
    40320ULL,
    362880ULL,
    3628800ULL,
    39916800ULL,
    479001600ULL,
    6227020800ULL,
    87178291200ULL,
    1307674368000ULL,
    20922789888000ULL,
    355687428096000ULL,
    6402373705728000ULL,
    121645100408832000ULL,
    2432902008176640000ULL,
};

static PyObject* lookup(PyObject* arg) {
#ifdef PyUnstable_Long_IsCompact
  /* Every argument in range is one digit, read in place. */
  if (PyLong_Check(arg) && PyUnstable_Long_IsCompact((PyLongObject*)arg)) {
    size_t small = (size_t)PyUnstable_Long_CompactValue((PyLongObject*)arg);
    if (small <= 20) return PyLong_FromUnsignedLongLong(table[small]);
  }
#endif
  unsigned long long n = PyLong_AsUnsignedLongLong(arg);
  if (n == (unsigned long long)-1 && PyErr_Occurred()) return NULL;
  if (n > 20) {
    PyErr_SetString(PyExc_OverflowError, "integer overflow");
    return NULL;
  }
  return PyLong_FromUnsignedLongLong(table[n]);
}

static PyObject* fastcall(PyObject* self, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) {
  (void)self;
  if (kwnames != NULL || PyVectorcall_NARGS(nargsf) != 1) {
    PyErr_SetString(PyExc_TypeError, "fastcall() takes one positional argument");
    return NULL;
  }
  return lookup(args[0]);
}

static PyObject* fastcall_twin(PyObject* self, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) {
  (void)self;
  if (kwnames != NULL || PyVectorcall_NARGS(nargsf) != 1) {
    PyErr_SetString(PyExc_TypeError, "fastcall_twin() takes one positional argument");
    return NULL;
  }
  return lookup(args[0]);
}

static PyObject* meth_o(PyObject* self, PyObject* arg) {
  (void)self;
  return lookup(arg);
}

/* Stores `value` (new reference or NULL) under a fresh ASCII key. */
static int put(PyObject* dict, const char* key, PyObject* value) {
  if (value == NULL) return -1;
  size_t size = strlen(key);
  PyObject* name = PyUnicode_New((Py_ssize_t)size, 127);
  if (name == NULL) {
    Py_DECREF(value);
    return -1;
  }
  memcpy(PyUnicode_1BYTE_DATA(name), key, size);
  int status = PyDict_SetItem(dict, name, value);
  Py_DECREF(name);
  Py_DECREF(value);
  return status;
}

static PyObject* text(const char* value) { return PyUnicode_FromStringAndSize(value, (Py_ssize_t)strlen(value)); }

static PyObject* record(void) {
  PyObject* dict = _PyDict_NewPresized(7);
  if (dict == NULL) return NULL;
  if (put(dict, "level", PyLong_FromLong(2)) < 0 ||
      put(dict, "timepoint",
          PyDateTimeAPI->DateTime_FromDateAndTime(2026, 12, 9, 13, 30, 15, 123456, Py_None,
                                                  PyDateTimeAPI->DateTimeType)) < 0 ||
      put(dict, "message", text("Application 'bench' v0.0.0 using engine 'bench' v0.0.0")) < 0 ||
      put(dict, "module", text("ovcore::base")) < 0 ||
      put(dict, "file", text("ovcore/src/base/instance_context.cpp")) < 0 ||
      put(dict, "line", PyLong_FromLong(115)) < 0 || put(dict, "thread_name", Py_NewRef(Py_None)) < 0) {
    Py_DECREF(dict);
    return NULL;
  }
  return dict;
}

static PyObject* deliver(PyObject* self, PyObject* const* args, Py_ssize_t nargs) {
  (void)self;
  if (nargs != 2) {
    PyErr_SetString(PyExc_TypeError, "deliver(callable, count)");
    return NULL;
  }
  long count = PyLong_AsLong(args[1]);
  if (count == -1 && PyErr_Occurred()) return NULL;
  for (long i = 0; i < count; ++i) {
    PyObject* dict = record();
    if (dict == NULL) return NULL;
    PyObject* result = PyObject_CallOneArg(args[0], dict);
    Py_DECREF(dict);
    if (result == NULL) return NULL;
    Py_DECREF(result);
  }
  Py_RETURN_NONE;
}

static PyMethodDef methods[] = {
    {"fastcall", (PyCFunction)(void (*)(void))fastcall, METH_FASTCALL | METH_KEYWORDS, NULL},
    {"fastcall_twin", (PyCFunction)(void (*)(void))fastcall_twin, METH_FASTCALL | METH_KEYWORDS, NULL},
    {"meth_o", meth_o, METH_O, NULL},
    {"deliver", (PyCFunction)(void (*)(void))deliver, METH_FASTCALL, NULL},
    {NULL, NULL, 0, NULL},
};

static PyModuleDef module = {
    PyModuleDef_HEAD_INIT, "_floor", "Floors for the benchmarks.", 0, methods, NULL, NULL, NULL, NULL,
};

PyMODINIT_FUNC PyInit__floor(void) {
  PyDateTime_IMPORT;
  if (PyDateTimeAPI == NULL) return NULL;
  return PyModule_Create(&module);
}
