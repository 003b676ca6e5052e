// The cost of nanobind's argument conversion alone, for the choice of
// binding: split_scan_binned's nine arguments taken and dropped. Built and
// timed by bench_calls.py --nanobind (see CMakeLists.txt here).
#include <cstdint>

#include <nanobind/nanobind.h>
#include <nanobind/ndarray.h>

namespace nb = nanobind;

namespace {

using Any = nb::ndarray<>;
// Every argument an array (scalars as 0-d arrays).
void nineArrays(Any, Any, Any, Any, Any, Any, Any, Any, Any) {}
// Arrays of the classes the contract wants; scalars as plain objects.
void typed(nb::ndarray<uint8_t, nb::ndim<2>, nb::f_contig>, nb::ndarray<uint32_t>, nb::ndarray<float>, nb::object,
           nb::ndarray<uint32_t>, nb::ndarray<uint32_t>, nb::object, nb::ndarray<double>, nb::object) {}

}  // namespace

NB_MODULE(nanobind_probe, m) {
    m.def("nine_arrays", &nineArrays);
    m.def("typed", &typed);
}
