#include "call.h"

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace contract {

namespace {

bool isNumericOrLogical(ElementClass cls) { return cls >= ElementClass::logical; }

constexpr size_t messageSize = 640;

void formatMessage(char *message, const char *prefix, const char *format, va_list args) {
    const int used = std::snprintf(message, messageSize, "%s", prefix);
    std::vsnprintf(message + used, messageSize - static_cast<size_t>(used), format, args);
}

}  // namespace

ReasonKind kindOf(const char *reason) {
    for (const ReasonOfKind &r : reasonKinds)
        if (std::strcmp(r.reason, reason) == 0) return r.kind;
    return ReasonKind::type;
}

Text numberText(double v) {
    Text t;
    if (std::isnan(v))
        std::snprintf(t.text, sizeof t.text, "NaN");
    else if (std::isinf(v))
        std::snprintf(t.text, sizeof t.text, v > 0 ? "Inf" : "-Inf");
    else if (v == std::trunc(v) && std::fabs(v) < 1e18)
        std::snprintf(t.text, sizeof t.text, "%.0f", v);
    else
        std::snprintf(t.text, sizeof t.text, "%.17g", v);
    return t;
}

int32_t truncateToInt32(double v) {
    // The open interval (-2^31 - 1, 2^31) truncates into range.
    if (v > -2147483649.0 && v < 2147483648.0) return static_cast<int32_t>(v);
    return INT32_MIN;
}

Text Call::text(Phrase what) const {
    Text t;
    std::snprintf(t.text, sizeof t.text, what.format, what.about >= 0 ? name(what.about) : "");
    return t;
}

void Call::fail(const char *reason, const char *format, ...) const {
    char message[messageSize];
    va_list args;
    va_start(args, format);
    formatMessage(message, "", format, args);
    va_end(args);
    char id[96];
    std::snprintf(id, sizeof id, "%s:%s", module_.name, reason);
    host_.raise(id, message);
    std::abort();  // raise() never returns
}

void Call::failInput(int input, const char *reason, const char *format, ...) const {
    const Argument argument = host_.argument(input);
    char prefix[96];
    std::snprintf(prefix, sizeof prefix, "Argument %d (%s) ", argument.position, argument.name);
    char message[messageSize];
    va_list args;
    va_start(args, format);
    formatMessage(message, prefix, format, args);
    va_end(args);
    fail(reason, "%s", message);
}

void Call::requireClass(int input, ElementClass cls) const {
    const ArrayView a = view(input);
    char advice[160];
    if (a.cls != cls)
        failInput(input, reason::wrongClass, "must be a real %s array; it is %s.%s", host_.className(cls), a.typeName,
                  host_.conversion(input, cls, advice, sizeof advice));
    if (a.complex) failInput(input, reason::notReal, "must be real; it is complex %s.", a.typeName);
    // A sparse array's data holds only its non-zeros.
    if (a.sparse) failInput(input, reason::wrongClass, "must be a full %s array; it is sparse.", a.typeName);
}

void Call::requireIndexClass(int input) const {
    const ArrayView a = view(input);
    char advice[160];
    if (a.cls != ElementClass::uint32 && a.cls != ElementClass::int32)
        failInput(input, reason::wrongClass, "must be a uint32 or int32 array; it is %s.%s", a.typeName,
                  host_.conversion(input, ElementClass::uint32, advice, sizeof advice));
    if (a.complex) failInput(input, reason::notReal, "must be real; it is complex %s.", a.typeName);
}

void Call::requireMatrix(int input) const {
    const size_t dims = view(input).ndims;
    if (dims != 2) failInput(input, reason::notMatrix, "must be a 2-D matrix; it has %zu dimensions.", dims);
}

void Call::requireShapeOf(int input, int like) const {
    if (!numpyTerms()) return;
    const ArrayView a = view(input), b = view(like);
    if (a.ndims == b.ndims && a.rows == b.rows && a.columns == b.columns) return;
    const char *hint = a.ndims == 2 && b.ndims == 2 && a.rows == b.columns && a.columns == b.rows
                           ? " It looks transposed."
                           : "";
    failInput(input, reason::wrongSize, "must have the shape of %s, (%zu, %zu); it has %zu dimensions, %zu elements.%s",
              name(like), b.rows, b.columns, a.ndims, a.count, hint);
}

void Call::requireElements(int input, size_t count, Phrase what) const {
    const size_t actual = view(input).count;
    if (actual != count)
        failInput(input, reason::wrongSize, "must hold %zu elements (%s); it holds %zu.", count, text(what).text,
                  actual);
}

void Call::requireAtLeastElements(int input, size_t count, Phrase what) const {
    const size_t actual = view(input).count;
    if (actual < count)
        failInput(input, reason::wrongSize, "must hold at least %zu elements (%s); it holds %zu.", count,
                  text(what).text, actual);
}

int32_t Call::dimension(int input, size_t n, const char *what) const {
    if (n > static_cast<size_t>(INT32_MAX))
        failInput(input, reason::tooLarge, "has %zu %s; at most %d are supported.", n, what, INT32_MAX);
    return static_cast<int32_t>(n);
}

double Call::scalar(int input) const {
    const ArrayView a = view(input);
    if (!isNumericOrLogical(a.cls))
        failInput(input, reason::notScalar, "must be a numeric or logical scalar; it is %s.", a.typeName);
    if (a.count == 0) failInput(input, reason::notScalar, "must be a numeric or logical scalar; it is empty.");
    // MATLAB's modules read the first element of any array.
    if (a.count > 1 && numpyTerms())
        failInput(input, reason::notScalar, "must be a scalar or a one-element array; it holds %zu elements.", a.count);
    return host_.firstValue(input);
}

int32_t Call::truncatedScalar(int input) const { return truncateToInt32(scalar(input)); }

int32_t Call::threadBound(int input) const {
    if (absent(input)) return INT32_MAX;
    const double v = scalar(input);
    if (numpyTerms() && !(v >= 1.0))
        failInput(input, reason::badValue, "must be None or a thread count of at least 1; it is %s.",
                  numberText(v).text);
    return truncateToInt32(v);
}

Text Call::elementName(int input, size_t index) const {
    Text t;
    host_.elementName(input, index, t.text, sizeof t.text);
    return t;
}

int64_t Call::indexValue(int input, size_t i) const {
    const uint32_t v = data<uint32_t>(input)[i];
    return view(input).cls == ElementClass::int32 ? static_cast<int64_t>(static_cast<int32_t>(v)) : v;
}

}  // namespace contract
