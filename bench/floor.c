/* The floor for factorial(20): the same table lookup and int creation with
 * nothing else, under both calling conventions a builtin can use. What
 * ovpi._sys.factorial costs beyond these is its own. */

#define PY_SSIZE_T_CLEAN
#include <Python.h>

static const unsigned long long table[21] = {
    1ULL, 1ULL, 2ULL, 6ULL, 24ULL, 120ULL, 720ULL, 5040ULL, 40320ULL, 362880ULL, 3628800ULL,
    39916800ULL, 479001600ULL, 6227020800ULL, 87178291200ULL, 1307674368000ULL,
    20922789888000ULL, 355687428096000ULL, 6402373705728000ULL, 121645100408832000ULL,
    2432902008176640000ULL,
};

static PyObject* lookup(PyObject* arg) {
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

static PyObject* meth_o(PyObject* self, PyObject* arg) {
    (void)self;
    return lookup(arg);
}

static PyMethodDef methods[] = {
    {"fastcall", (PyCFunction)(void (*)(void))fastcall, METH_FASTCALL | METH_KEYWORDS, NULL},
    {"meth_o", meth_o, METH_O, NULL},
    {NULL, NULL, 0, NULL},
};

static PyModuleDef module = {
    PyModuleDef_HEAD_INIT, "_floor", "The calling-convention floor for the numeric benchmark.", 0, methods,
    NULL, NULL, NULL, NULL,
};

PyMODINIT_FUNC PyInit__floor(void) { return PyModule_Create(&module); }
