// What a module's contract sees of a host: each input as one small view
// (element class, shape, element count, real or complex), its data, and the
// host's ways of creating outputs and of refusing a call. The MEX front end
// (mex/) adapts mxArray to it, the Python front end (python/) numpy arrays
// and Python numbers. Nothing here knows either host.
#pragma once

#include <cstddef>

namespace contract {

// The classes a host's arrays can have, by what their elements are.
enum class ElementClass {
    unknown,
    absent,  // an optional input the caller left out (Python's None)
    cell,
    structure,
    function,
    character,
    logical,
    float64,
    float32,
    int8,
    uint8,
    int16,
    uint16,
    int32,
    uint32,
    int64,
    uint64,
};

struct ArrayView {
    ElementClass cls = ElementClass::unknown;
    bool complex = false;
    bool sparse = false;  // elements stored as non-zeros only
    size_t ndims = 0;
    size_t rows = 0;     // the first dimension
    size_t columns = 0;  // the product of the others
    size_t count = 0;
    const char *typeName = "";  // the class as the host names it
};

// A matrix output is column-major; rowMajorMatrix asks for one stored row by
// row, which only a host whose strided() gives row-major inputs is asked for
// (a module asks so to write in its input's order).
enum class OutputShape { matrix, row, rowMajorMatrix };

// A 2-D input's elements where they lie: element (i, j) of a matrix of
// `rows` rows and `columns` columns (the product of the later dimensions) is
// at static_cast<const T *>(data) + i * rowStep + j * columnStep. The steps
// count ELEMENTS, not bytes; either may be negative (a reversed view) or zero
// (a broadcast one). Column-major storage has rowStep 1, columnStep rows.
struct Strided {
    const void *data;
    ptrdiff_t rowStep;
    ptrdiff_t columnStep;
};

// How the host numbers and names an input in its messages.
struct Argument {
    int position;  // from 1
    const char *name;
};

// One call as the host carries it. The contract reads every input through
// view() and data(); raise() never returns: the MEX host unwinds or jumps out
// of the module, the Python host throws to its front end. So a contract
// raises only where it owns no scratch.
class Host {
public:
    virtual ArrayView view(int input) const = 0;
    // The elements in column-major order (the first index fastest), aligned,
    // valid until the call returns.
    virtual const void *data(int input) = 0;
    // The elements in place where the host can give them so, else a
    // column-major copy as data() makes; valid until the call returns. For
    // matrices a kernel reads by position, so that no layout costs a copy.
    virtual Strided strided(int input) = 0;
    // The first element as a double, of a non-empty numeric or logical input.
    virtual double firstValue(int input) const = 0;
    // A new real output, zero-filled: an m-by-n matrix, or a row of n (m = 1)
    // that a host may give as a vector. Returns its data, column-major.
    virtual void *output(int slot, OutputShape shape, size_t m, size_t n, ElementClass cls) = 0;
    virtual Argument argument(int input) const = 0;
    virtual const char *className(ElementClass cls) const = 0;
    // Text appended to a wrong-class message, telling how to convert the
    // input to `cls` ("" when the host has none).
    virtual const char *conversion(int input, ElementClass cls, char *text, size_t size) const = 0;
    [[noreturn]] virtual void raise(const char *identifier, const char *message) = 0;
    // Whether the host holds its callers to numpy's conventions where the MEX
    // modules keep MATLAB's: a scalar is one element, a map's companion has
    // the map's shape, a thread count is positive, and a message names an
    // element by its zero-based numpy index (elementName).
    virtual bool numpyTerms() const { return false; }
    // Element `index` (column-major, from 0) of an input as a numpy index,
    // e.g. "sorted_order[5, 2]"; only asked of a host with numpyTerms().
    virtual void elementName(int /*input*/, size_t /*index*/, char *text, size_t size) const {
        if (size) text[0] = '\0';
    }
    // Around the parallel region: the Python host lets other threads run.
    virtual void enterRegion() {}
    virtual void leaveRegion() {}

protected:
    ~Host() = default;
};

}  // namespace contract
