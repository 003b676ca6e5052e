// One call of a module, whatever its host: its inputs by slot, the checks
// that refuse a bad call, and its outputs. Each module's contract
// (modules/<name>.cpp) is written once against this.
//
// A refused call raises the host's error with the identifier
// "<module>:<reason>" and a message that starts with the argument, as the
// host numbers and names it, and shows the offending value.
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/cpu.h"
#include "view.h"

namespace contract {

// Reasons, the part of an error identifier after the module name.
namespace reason {
inline constexpr const char *notEnoughInputs = "notEnoughInputs";
inline constexpr const char *tooManyInputs = "tooManyInputs";
inline constexpr const char *tooManyOutputs = "tooManyOutputs";
inline constexpr const char *wrongClass = "wrongClass";
inline constexpr const char *notReal = "notReal";
inline constexpr const char *notMatrix = "notMatrix";
inline constexpr const char *wrongSize = "wrongSize";
inline constexpr const char *notScalar = "notScalar";
inline constexpr const char *badValue = "badValue";
inline constexpr const char *tooLarge = "tooLarge";
inline constexpr const char *labelOutOfRange = "labelOutOfRange";
inline constexpr const char *indexOutOfRange = "indexOutOfRange";
inline constexpr const char *outOfMemory = "outOfMemory";
}  // namespace reason

// What kind of fault each reason reports, for hosts whose errors have
// classes (Python: TypeError, ValueError, MemoryError).
enum class ReasonKind { type, value, memory };
struct ReasonOfKind {
    const char *reason;
    ReasonKind kind;
};
inline constexpr ReasonOfKind reasonKinds[] = {
    {reason::notEnoughInputs, ReasonKind::type}, {reason::tooManyInputs, ReasonKind::type},
    {reason::tooManyOutputs, ReasonKind::type},  {reason::wrongClass, ReasonKind::type},
    {reason::notReal, ReasonKind::type},         {reason::notScalar, ReasonKind::type},
    {reason::notMatrix, ReasonKind::value},      {reason::wrongSize, ReasonKind::value},
    {reason::tooLarge, ReasonKind::value},       {reason::badValue, ReasonKind::value},
    {reason::labelOutOfRange, ReasonKind::value}, {reason::indexOutOfRange, ReasonKind::value},
    {reason::outOfMemory, ReasonKind::memory},
};
// The kind of a reason (the identifier's part after the module name); a
// reason outside the table is a type fault.
ReasonKind kindOf(const char *reason);

// What every host refuses before a module's contract runs: the counts of
// inputs and outputs.
inline constexpr const char *hostReasons[] = {reason::notEnoughInputs, reason::tooManyInputs, reason::tooManyOutputs};

class Call;

// A typed Strided: element (i, j) is data[i * rowStep + j * columnStep].
template <typename T>
struct StridedOf {
    const T *data;
    ptrdiff_t rowStep;
    ptrdiff_t columnStep;

    const T &at(size_t i, size_t j) const {
        return data[static_cast<ptrdiff_t>(i) * rowStep + static_cast<ptrdiff_t>(j) * columnStep];
    }
    bool columnMajor(size_t rows) const { return rowStep == 1 && columnStep == static_cast<ptrdiff_t>(rows); }
};

// One input of a module, as each host names it.
struct Input {
    const char *matlabName;
    const char *pythonName;    // nullptr: a placeholder that Python leaves out
    bool keywordOnly = false;  // Python: by keyword only, None when left out
};

// A module as every host calls it: its name (MATLAB's, the identifiers'
// prefix) and Python's, its inputs in MATLAB's call order (slot = position
// - 1), its outputs, its contract, and the reasons its contract may refuse
// a call with (hostReasons aside): the build lists them as the module's
// error identifiers, and the tests hold every refusal they see to that list.
// modules/<name>.h holds the tables.
struct Module {
    const char *name;
    const char *pythonName;
    const Input *inputs;
    int inputCount;
    const char *const *outputs;
    int outputCount;
    void (*run)(Call &call);
    const char *const *reasons;
    int reasonCount;
};

// Fixed-size texts: nothing here owns memory that an unwinding host would leak.
struct Text {
    char text[160];
};

// A number as MATLAB writes it: integers in full, NaN, Inf and -Inf.
Text numberText(double v);

// Truncated toward zero; NaN and values outside the 32-bit range give
// INT32_MIN, as the x86 conversion instruction does.
int32_t truncateToInt32(double v);

class Call {
public:
    Call(const Module &module, Host &host) : module_(module), host_(host) {}

    ArrayView view(int input) const { return host_.view(input); }
    template <typename T>
    const T *data(int input) const {
        return static_cast<const T *>(host_.data(input));
    }
    // A matrix input in place, in any layout (Host::strided).
    template <typename T>
    StridedOf<T> strided(int input) const {
        const Strided s = host_.strided(input);
        return {static_cast<const T *>(s.data), s.rowStep, s.columnStep};
    }
    // The input's name as the host's caller knows it, for messages that
    // mention one input while refusing another.
    const char *name(int input) const { return host_.argument(input).name; }
    contract::Argument argument(int input) const { return host_.argument(input); }
    // What a size check names in its message: `format`, with the name of
    // input `about` for its one %s (none when `about` is -1). Formatted only
    // when the check fails.
    struct Phrase {
        const char *format;
        int about = -1;
    };

    // Raises "<module>:<reason>" with the formatted message.
    [[noreturn]] void fail(const char *reason, const char *format, ...) const CPU_PRINTF_FORMAT(3, 4);
    // The same, the message starting with "Argument <position> (<name>) ".
    [[noreturn]] void failInput(int input, const char *reason, const char *format, ...) const
        CPU_PRINTF_FORMAT(4, 5);

    // A real (non-complex), full array of exactly class `cls`.
    void requireClass(int input, ElementClass cls) const;
    // A real uint32 or int32 array (both read alike for values below 2^31).
    void requireIndexClass(int input) const;
    void requireMatrix(int input) const;
    // numpyTerms() hosts only: the same shape as input `like` (a transposed
    // or flattened companion would be read in the wrong order).
    void requireShapeOf(int input, int like) const;
    void requireElements(int input, size_t count, Phrase what) const;
    void requireAtLeastElements(int input, size_t count, Phrase what) const;
    // A row or column count, held as a signed 32-bit integer in the kernels.
    int32_t dimension(int input, size_t n, const char *what) const;
    // The first element as a double, of a non-empty numeric or logical array.
    double scalar(int input) const;
    // scalar(), truncated toward zero (truncateToInt32).
    int32_t truncatedScalar(int input) const;
    // An optional bound on the team: left out, the runtime's maximum;
    // numpyTerms() hosts refuse a bound below 1, MATLAB's run one thread.
    int32_t threadBound(int input) const;
    // See Host::numpyTerms and Host::elementName.
    bool numpyTerms() const { return host_.numpyTerms(); }
    Text elementName(int input, size_t index) const;
    // An optional input the caller left out.
    bool absent(int input) const { return host_.view(input).cls == ElementClass::absent; }
    // Element i of a uint32 or int32 array as the caller wrote it.
    int64_t indexValue(int input, size_t i) const;

    // Creates output `slot`, zero-filled, and returns its data.
    template <typename T>
    T *output(int slot, OutputShape shape, size_t m, size_t n, ElementClass cls) const {
        return static_cast<T *>(host_.output(slot, shape, m, n, cls));
    }

    // While it lives, the parallel region runs: the host may let others run.
    class Region {
    public:
        explicit Region(const Call &call) : host_(call.host_) { host_.enterRegion(); }
        ~Region() { host_.leaveRegion(); }
        Region(const Region &) = delete;
        Region &operator=(const Region &) = delete;

    private:
        Host &host_;
    };

private:
    Text text(Phrase what) const;

    const Module &module_;
    Host &host_;
};

}  // namespace contract
