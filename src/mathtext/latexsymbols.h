#pragma once

// The command names that the LaTeX translator turns into single characters, in their fixed
// order. The order matters twice: a name lookup gives the first entry of that name, and the
// first dialect's clean-up rewrites a character as the name of the first entry holding it.

#include <QtCore/QChar>
#include <QtCore/QStringView>

namespace Taviosystem {

struct LatexSymbol
{
    const char16_t* name; // with its leading backslash, zero-terminated
    char16_t character;

    QStringView nameView() const { return QStringView(name); }
    QStringView characterView() const { return QStringView(&character, 1); }
};

// Entries in the table, "\degree" counted twice.
constexpr int LatexSymbolCount = 333;

// The table in its fixed order.
const LatexSymbol* latexSymbols();

// The first entry named name (case-sensitive), as a scan in table order would find it; "\in",
// which is not in the table, gives U+2208. Null for any other name. Constant time: the names are
// hashed once, on first use.
const LatexSymbol* lookupSymbol(QStringView name);

// The first entry, in table order, whose character is character; the backslash is left out, so
// that the clean-up never tears a command apart. Null when no entry holds it.
const LatexSymbol* symbolForCharacter(QChar character);

} // namespace Taviosystem
