#include "ZelkJsonText.h"

#include "ZelkTimeText.h"
#include "comholders.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <vector>

namespace zelk::ae {

namespace {

// Nested arrays of variants deeper than this are cut off as null: a server's value
// cannot make the writer recurse without bound.
constexpr int MaxDepth = 16;

void AppendUtf8(std::string& out, char32_t code) {
    if (code < 0x80) {
        out.push_back(static_cast<char>(code));
    } else if (code < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (code >> 6)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else if (code < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (code >> 12)));
        out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (code >> 18)));
        out.push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    }
}

void AppendEscape(std::string& out, char16_t c) {
    switch (c) {
    case u'"':
        out += "\\\"";
        return;
    case u'\\':
        out += "\\\\";
        return;
    case u'\n':
        out += "\\n";
        return;
    case u'\r':
        out += "\\r";
        return;
    case u'\t':
        out += "\\t";
        return;
    default:
        break;
    }
    static constexpr char hex[] = "0123456789abcdef";
    out += "\\u00";
    out.push_back(hex[(c >> 4) & 0xF]);
    out.push_back(hex[c & 0xF]);
}

void AppendJsonText(std::string& out, const char16_t* text, qsizetype length) {
    out.push_back('"');
    for (qsizetype i = 0; i < length; ++i) {
        const char16_t c = text[i];
        if (c < 0x20 || c == u'"' || c == u'\\') {
            AppendEscape(out, c);
        } else if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else if (QChar::isHighSurrogate(c) && i + 1 < length &&
                   QChar::isLowSurrogate(text[i + 1])) {
            AppendUtf8(out, QChar::surrogateToUcs4(c, text[i + 1]));
            ++i;
        } else if (QChar::isSurrogate(c)) {
            AppendUtf8(out, 0xFFFD);
        } else {
            AppendUtf8(out, c);
        }
    }
    out.push_back('"');
}

template <class Integer> void AppendInteger(std::string& out, Integer value) {
    char digits[24];
    const auto result = std::to_chars(digits, digits + sizeof digits, value);
    out.append(digits, result.ptr);
}

// Currency is a count of 1/10000 units: written exactly, trailing zeros dropped.
void AppendCurrency(std::string& out, std::int64_t value) {
    const bool negative = value < 0;
    const std::uint64_t magnitude =
        negative ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
    if (negative)
        out.push_back('-');
    AppendInteger(out, magnitude / 10000);
    std::uint64_t fraction = magnitude % 10000;
    if (fraction == 0)
        return;
    int digits = 4;
    while (fraction % 10 == 0) {
        fraction /= 10;
        --digits;
    }
    out.push_back('.');
    std::string text;
    AppendInteger(text, fraction);
    out.append(static_cast<std::size_t>(digits) - text.size(), '0');
    out += text;
}

void AppendValue(std::string& out, const VARIANT& value, int depth);

// One element of an array of `type` at `element`, read through a non-owning VARIANT
// view (never cleared: the array keeps what it owns).
void AppendElement(std::string& out, VARTYPE type, const void* element, ULONG size, int depth) {
    if (type == VT_VARIANT) {
        AppendValue(out, *static_cast<const VARIANT*>(element), depth + 1);
        return;
    }
    VARIANT view;
    VariantInit(&view);
    view.vt = type;
    std::memcpy(&view.llVal, element, std::min<std::size_t>(size, sizeof view.llVal));
    AppendValue(out, view, depth + 1);
}

// The dimension `dimension` (1-based, the caller's order) below the indices fixed so far:
// the first dimension is the outermost JSON array.
void AppendDimension(std::string& out, SAFEARRAY* array, VARTYPE type, UINT dimension,
                     std::vector<LONG>& indices, int depth) {
    LONG lower = 0;
    LONG upper = -1;
    SafeArrayGetLBound(array, dimension, &lower);
    SafeArrayGetUBound(array, dimension, &upper);
    out.push_back('[');
    for (LONG i = lower; i <= upper; ++i) {
        if (i != lower)
            out.push_back(',');
        indices[dimension - 1] = i;
        if (dimension < indices.size()) {
            AppendDimension(out, array, type, dimension + 1, indices, depth);
            continue;
        }
        void* element = nullptr;
        if (FAILED(SafeArrayPtrOfIndex(array, indices.data(), &element)) || !element)
            out += "null";
        else
            AppendElement(out, type, element, SafeArrayGetElemsize(array), depth);
    }
    out.push_back(']');
}

void AppendArray(std::string& out, SAFEARRAY* array, VARTYPE type, int depth) {
    const UINT dimensions = array ? SafeArrayGetDim(array) : 0;
    if (dimensions == 0) {
        out += "null";
        return;
    }
    std::vector<LONG> indices(dimensions, 0);
    AppendDimension(out, array, type, 1, indices, depth);
}

void AppendValue(std::string& out, const VARIANT& value, int depth) {
    if (depth > MaxDepth) {
        out += "null";
        return;
    }
    if (value.vt & VT_BYREF) {
        zelk::com::ComVariant copy;
        if (FAILED(VariantCopyInd(copy.Get(), &value)) || (copy.Type() & VT_BYREF))
            out += "null";
        else
            AppendValue(out, copy.Value(), depth + 1);
        return;
    }
    if (value.vt & VT_ARRAY) {
        AppendArray(out, value.parray, static_cast<VARTYPE>(value.vt & VT_TYPEMASK), depth);
        return;
    }
    switch (value.vt) {
    case VT_I1:
        AppendInteger(out, static_cast<int>(value.cVal));
        return;
    case VT_UI1:
        AppendInteger(out, static_cast<unsigned>(value.bVal));
        return;
    case VT_I2:
        AppendInteger(out, static_cast<int>(value.iVal));
        return;
    case VT_UI2:
        AppendInteger(out, static_cast<unsigned>(value.uiVal));
        return;
    case VT_I4:
    case VT_INT:
        AppendInteger(out, value.lVal);
        return;
    case VT_UI4:
    case VT_UINT:
        AppendInteger(out, value.ulVal);
        return;
    case VT_ERROR:
        AppendInteger(out, value.scode);
        return;
    case VT_I8:
        AppendInteger(out, value.llVal);
        return;
    case VT_UI8:
        AppendInteger(out, value.ullVal);
        return;
    case VT_R4:
        AppendJsonNumber(out, static_cast<double>(value.fltVal));
        return;
    case VT_R8:
        AppendJsonNumber(out, value.dblVal);
        return;
    case VT_CY:
        AppendCurrency(out, value.cyVal.int64);
        return;
    case VT_BOOL:
        out += value.boolVal ? "true" : "false";
        return;
    case VT_BSTR:
        AppendJsonText(out, value.bstrVal, value.bstrVal ? SysStringLen(value.bstrVal) : 0);
        return;
    case VT_DATE: {
        const std::optional<std::int64_t> ticks = DateTimeTicks(value.date);
        out.push_back('"');
        if (ticks && AppendIsoLocal(out, *ticks)) {
            out.push_back('"');
        } else {
            out.pop_back();
            out += "null";
        }
        return;
    }
    default: {
        // Kinds JSON has no place for; a decimal still has a text.
        QString text;
        if (value.vt == VT_DECIMAL && SUCCEEDED(zelk::com::VariantToQString(value, text)))
            AppendJsonString(out, text);
        else
            out += "null";
        return;
    }
    }
}

} // namespace

void AppendJsonString(std::string& out, const QString& text) {
    AppendJsonText(out, reinterpret_cast<const char16_t*>(text.utf16()), text.size());
}

void AppendJsonKey(std::string& out, const char* key) {
    out.push_back(',');
    out.push_back('"');
    out += key;
    out += "\":";
}

void AppendJsonNumber(std::string& out, double value) {
    if (!std::isfinite(value)) {
        out += "null";
        return;
    }
    char digits[32];
    const auto result = std::to_chars(digits, digits + sizeof digits, value);
    out.append(digits, result.ptr);
}

void AppendJsonNumber(std::string& out, std::int64_t value) {
    AppendInteger(out, value);
}

void AppendJsonNumber(std::string& out, std::uint64_t value) {
    AppendInteger(out, value);
}

void AppendJsonVariant(std::string& out, const VARIANT& value) {
    AppendValue(out, value, 0);
}

} // namespace zelk::ae
