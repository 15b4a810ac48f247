#include "records.h"

#include <utility>

namespace {

constexpr int kLongestMacroName = 23;  // "vbaQUORBELT_SAMENVOEGEN"

struct CountedName {
    XCHAR units[1 + kLongestMacroName + 1];  // length, characters, zero (and zero padding)
};

template <size_t N>
constexpr CountedName counted(const wchar_t (&text)[N]) {
    static_assert(N - 1 <= kLongestMacroName, "macro name too long for its slot");
    CountedName name{};
    name.units[0] = static_cast<XCHAR>(N - 1);
    for (size_t i = 0; i + 1 < N; ++i) name.units[i + 1] = text[i];
    return name;
}

constexpr std::array<CountedName, kMacroNameCount> buildCountedNames() {
    std::array<CountedName, kMacroNameCount> names{};
#define QB_FUNCTION(word, operands, entry, languages) names[entry] = counted(L"vbaQUORBELT_" #word);
#include "fixed_function_table.inc"
#undef QB_FUNCTION
    names[kDispatcherNameEntry] = counted(L"vbaQUORBELT_DBF");
    return names;
}

constexpr std::array<CountedName, kMacroNameCount> countedNames = buildCountedNames();

constexpr bool everyEntryNamed() {
    for (const CountedName& name : countedNames)
        if (name.units[0] == 0) return false;
    return true;
}
static_assert(everyEntryNamed(), "a macro-name table entry is used by no function");

template <size_t... I>
constexpr std::array<const XCHAR*, kMacroNameCount> addressesOf(std::index_sequence<I...>) {
    return {{countedNames[I].units...}};
}

}  // namespace

constexpr std::array<const XCHAR*, kMacroNameCount> macroNameTable =
    addressesOf(std::make_index_sequence<kMacroNameCount>());

XLOPER12 slotOperand;
XLOPER12 dispatcherNameOperand;
XLOPER12 functionNameOperand;
FixedResultRecords fixedResults;
XLOPER12 slotResult;
