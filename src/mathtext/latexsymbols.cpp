#include "latexsymbols.h"

#include <array>
#include <cstdint>

namespace Taviosystem {

namespace {

const LatexSymbol Symbols[LatexSymbolCount] = {
    { u"\\amp", 0x0026 },
    { u"\\pound", 0x00A3 },
    { u"\\degree", 0x00B0 },
    { u"\\Box", 0x25A1 },
    { u"\\Bumpeq", 0x224E },
    { u"\\Cap", 0x22D2 },
    { u"\\Cup", 0x22D3 },
    { u"\\Delta", 0x0394 },
    { u"\\Diamond", 0x25C7 },
    { u"\\Downarrow", 0x21D3 },
    { u"\\Finv", 0x2132 },
    { u"\\Gamma", 0x0393 },
    { u"\\Im", 0x2111 },
    { u"\\Join", 0x22C8 },
    { u"\\Lambda", 0x039B },
    { u"\\Leftarrow", 0x21D0 },
    { u"\\Leftrightarrow", 0x21D4 },
    { u"\\Lleftarrow", 0x21DA },
    { u"\\Longleftarrow", 0x21D0 },
    { u"\\Longleftrightarrow", 0x21D4 },
    { u"\\Longrightarrow", 0x21D2 },
    { u"\\Lsh", 0x21B0 },
    { u"\\Omega", 0x03A9 },
    { u"\\Phi", 0x03A6 },
    { u"\\Pi", 0x03A0 },
    { u"\\Psi", 0x03A8 },
    { u"\\Re", 0x211C },
    { u"\\Rightarrow", 0x21D2 },
    { u"\\Rrightarrow", 0x21DB },
    { u"\\Rsh", 0x21B1 },
    { u"\\Sigma", 0x2211 },
    { u"\\Subset", 0x22D0 },
    { u"\\Supset", 0x22D1 },
    { u"\\Theta", 0x0398 },
    { u"\\Uparrow", 0x21D1 },
    { u"\\Updownarrow", 0x21D5 },
    { u"\\Upsilon", 0x03A5 },
    { u"\\Vdash", 0x22A9 },
    { u"\\Vvdash", 0x22AA },
    { u"\\Xi", 0x039E },
    { u"\\aleph", 0x05D0 },
    { u"\\alpha", 0x03B1 },
    { u"\\angle", 0x2220 },
    { u"\\approxeq", 0x224A },
    { u"\\approx", 0x2248 },
    { u"\\ast", 0x2217 },
    { u"\\asymp", 0x224D },
    { u"\\backepsilon", 0x220D },
    { u"\\backprime", 0x2035 },
    { u"\\backsim", 0x223D },
    { u"\\backslash", 0x005C },
    { u"\\barwedge", 0x22BC },
    { u"\\because", 0x2235 },
    { u"\\beta", 0x03B2 },
    { u"\\beth", 0x05D1 },
    { u"\\between", 0x226C },
    { u"\\bigcap", 0x22C2 },
    { u"\\bigcirc", 0x25CB },
    { u"\\bigcup", 0x22C3 },
    { u"\\bigodot", 0x2299 },
    { u"\\bigoplus", 0x2295 },
    { u"\\bigotimes", 0x2297 },
    { u"\\bigsqcup", 0x2294 },
    { u"\\bigstar", 0x2605 },
    { u"\\bigtriangledown", 0x25BD },
    { u"\\bigtriangleup", 0x25B3 },
    { u"\\biguplus", 0x228E },
    { u"\\bigvee", 0x22C1 },
    { u"\\bigwedge", 0x22C0 },
    { u"\\blacklozenge", 0x25C6 },
    { u"\\blacksquare", 0x25A0 },
    { u"\\blacktriangledown", 0x25BC },
    { u"\\blacktriangleleft", 0x25C0 },
    { u"\\blacktriangleright", 0x25B7 },
    { u"\\blacktriangle", 0x25B2 },
    { u"\\bot", 0x22A5 },
    { u"\\bowtie", 0x22C8 },
    { u"\\boxdot", 0x22A1 },
    { u"\\boxminus", 0x229F },
    { u"\\boxplus", 0x229E },
    { u"\\boxtimes", 0x22A0 },
    { u"\\bullet", 0x2219 },
    { u"\\bumpeq", 0x224F },
    { u"\\cap", 0x2229 },
    { u"\\cdot", 0x22C5 },
    { u"\\cdots", 0x22EF },
    { u"\\centerdot", 0x22C5 },
    { u"\\chi", 0x03C7 },
    { u"\\circeq", 0x2257 },
    { u"\\circlearrowleft", 0x21BA },
    { u"\\circlearrowright", 0x21BB },
    { u"\\circledS", 0x24C8 },
    { u"\\circledast", 0x229B },
    { u"\\circledcirc", 0x229A },
    { u"\\circleddash", 0x229D },
    { u"\\circ", 0x2218 },
    { u"\\clubsuit", 0x2663 },
    { u"\\colon", 0x003A },
    { u"\\complement", 0x2201 },
    { u"\\cong", 0x2245 },
    { u"\\coprod", 0x2210 },
    { u"\\cup", 0x222A },
    { u"\\curlyeqprec", 0x22DE },
    { u"\\curlyeqsucc", 0x22DF },
    { u"\\curlyvee", 0x22CE },
    { u"\\curlywedge", 0x22CF },
    { u"\\curvearrowleft", 0x21B6 },
    { u"\\curvearrowright", 0x21B7 },
    { u"\\dagger", 0x2020 },
    { u"\\daleth", 0x05D3 },
    { u"\\dashleftarrow", 0x21E0 },
    { u"\\dashrightarrow", 0x21E2 },
    { u"\\dashv", 0x22A3 },
    { u"\\ddagger", 0x2021 },
    { u"\\ddots", 0x22F1 },
    { u"\\delta", 0x03B4 },
    { u"\\degree", 0x00B0 },
    { u"\\diamondsuit", 0x2662 },
    { u"\\diamond", 0x22C4 },
    { u"\\digamma", 0x03DC },
    { u"\\divideontimes", 0x22C7 },
    { u"\\div", 0x00F7 },
    { u"\\doteqdot", 0x2251 },
    { u"\\doteq", 0x2250 },
    { u"\\dotplus", 0x2214 },
    { u"\\dots", 0x2026 },
    { u"\\downarrow", 0x2193 },
    { u"\\downdownarrows", 0x21CA },
    { u"\\downharpoonleft", 0x21C3 },
    { u"\\downharpoonright", 0x21C2 },
    { u"\\ell", 0x2113 },
    { u"\\emptyset", 0x2205 },
    { u"\\epsilon", 0x220A },
    { u"\\eqcirc", 0x2256 },
    { u"\\equiv", 0x2261 },
    { u"\\eta", 0x03B7 },
    { u"\\eth", 0x00F0 },
    { u"\\exists", 0x2203 },
    { u"\\fallingdotseq", 0x2252 },
    { u"\\flat", 0x266D },
    { u"\\forall", 0x2200 },
    { u"\\frown", 0x2322 },
    { u"\\gamma", 0x03B3 },
    { u"\\geqq", 0x2267 },
    { u"\\geq", 0x2265 },
    { u"\\ge", 0x2265 },
    { u"\\ggg", 0x22D9 },
    { u"\\gg", 0x226B },
    { u"\\gimel", 0x05D2 },
    { u"\\gtrdot", 0x22D7 },
    { u"\\gtreqless", 0x22DB },
    { u"\\gtrless", 0x2277 },
    { u"\\gtrsim", 0x2273 },
    { u"\\hbar", 0x210F },
    { u"\\heartsuit", 0x2661 },
    { u"\\hookleftarrow", 0x21A9 },
    { u"\\hookrightarrow", 0x21AA },
    { u"\\hslash", 0x210F },
    { u"\\implies", 0x21D2 },
    { u"\\infty", 0x221E },
    { u"\\intercal", 0x22BA },
    { u"\\iota", 0x03B9 },
    { u"\\kappa", 0x03BA },
    { u"\\lambda", 0x03BB },
    { u"\\langle", 0x2329 },
    { u"\\lceil", 0x2308 },
    { u"\\leadsto", 0x219D },
    { u"\\leftarrowtail", 0x21A2 },
    { u"\\leftarrow", 0x2190 },
    { u"\\leftharpoondown", 0x21BD },
    { u"\\leftharpoonup", 0x21BC },
    { u"\\leftleftarrows", 0x21C7 },
    { u"\\leftrightarrow", 0x2194 },
    { u"\\leftrightarrows", 0x21C6 },
    { u"\\leftrightharpoons", 0x21CB },
    { u"\\leftrightsquigarrow", 0x21AD },
    { u"\\leftthreetimes", 0x22CB },
    { u"\\leqq", 0x2266 },
    { u"\\leqslant", 0x2264 },
    { u"\\leq", 0x2264 },
    { u"\\lessdot", 0x22D6 },
    { u"\\lesseqgtr", 0x22DA },
    { u"\\lessgtr", 0x2276 },
    { u"\\lesssim", 0x2272 },
    { u"\\le", 0x2264 },
    { u"\\lfloor", 0x230A },
    { u"\\lhd", 0x22B2 },
    { u"\\llcorner", 0x231E },
    { u"\\lll", 0x22D8 },
    { u"\\llll", 0x226A },
    { u"\\longleftarrow", 0x2190 },
    { u"\\longleftrightarrow", 0x2194 },
    { u"\\longmapsto", 0x21D6 },
    { u"\\longrightarrow", 0x2192 },
    { u"\\looparrowleft", 0x21AB },
    { u"\\looparrowright", 0x21AC },
    { u"\\lozenge", 0x25CA },
    { u"\\ltimes", 0x22C9 },
    { u"\\mapsto", 0x21A6 },
    { u"\\measuredangle", 0x2221 },
    { u"\\measuredrightangle", 0x221F },
    { u"\\mho", 0x2127 },
    { u"\\mid", 0x2223 },
    { u"\\models", 0x22A8 },
    { u"\\mp", 0x2213 },
    { u"\\multimap", 0x22B8 },
    { u"\\mu", 0x03BC },
    { u"\\nabla", 0x2207 },
    { u"\\natural", 0x266E },
    { u"\\nearrow", 0x2197 },
    { u"\\neg", 0x00AC },
    { u"\\neq", 0x2260 },
    { u"\\ne", 0x2260 },
    { u"\\nexists", 0x2204 },
    { u"\\ni", 0x220B },
    { u"\\notin", 0x2209 },
    { u"\\nu", 0x03BD },
    { u"\\nwarrow", 0x2196 },
    { u"\\odot", 0x2299 },
    { u"\\oint", 0x222E },
    { u"\\omega", 0x03C9 },
    { u"\\ominus", 0x2296 },
    { u"\\oplus", 0x2295 },
    { u"\\oslash", 0x2298 },
    { u"\\otimes", 0x2297 },
    { u"\\parallel", 0x2225 },
    { u"\\partial", 0x2202 },
    { u"\\perp", 0x22A5 },
    { u"\\phi", 0x03D5 },
    { u"\\pitchfork", 0x22D4 },
    { u"\\pi", 0x03C0 },
    { u"\\pm", 0x00B1 },
    { u"\\prec", 0x227A },
    { u"\\preccurlyeq", 0x227C },
    { u"\\preceq", 0x227C },
    { u"\\precsim", 0x227E },
    { u"\\prime", 0x2032 },
    { u"\\propto", 0x221D },
    { u"\\psi", 0x03C8 },
    { u"\\rangle", 0x232A },
    { u"\\rceil", 0x2309 },
    { u"\\rfloor", 0x230B },
    { u"\\rhd", 0x22B3 },
    { u"\\rho", 0x03C1 },
    { u"\\rightarrow", 0x2192 },
    { u"\\rightarrowtail", 0x21A3 },
    { u"\\rightharpoondown", 0x21C1 },
    { u"\\rightharpoonup", 0x21C0 },
    { u"\\rightleftarrows", 0x21C4 },
    { u"\\rightleftharpoons", 0x21CC },
    { u"\\rightrightarrows", 0x21C9 },
    { u"\\rightsquigarrow", 0x21DD },
    { u"\\rightthreetimes", 0x22CC },
    { u"\\risingdotseq", 0x2253 },
    { u"\\rtimes", 0x22C8 },
    { u"\\searrow", 0x2198 },
    { u"\\setminus", 0x2216 },
    { u"\\sharp", 0x266F },
    { u"\\shortparallel", 0x2225 },
    { u"\\sigma", 0x03C3 },
    { u"\\simeq", 0x2243 },
    { u"\\sim", 0x223C },
    { u"\\smallfrown", 0x2322 },
    { u"\\smallsetminus", 0x2216 },
    { u"\\smallsmile", 0x2323 },
    { u"\\smile", 0x2323 },
    { u"\\spadesuit", 0x2660 },
    { u"\\sphericalangle", 0x2222 },
    { u"\\sqcap", 0x2293 },
    { u"\\sqcup", 0x2294 },
    { u"\\sqsubseteq", 0x2291 },
    { u"\\sqsubset", 0x228F },
    { u"\\sqsupseteq", 0x2292 },
    { u"\\sqsupset", 0x2290 },
    { u"\\square", 0x25A1 },
    { u"\\star", 0x22C6 },
    { u"\\subset", 0x2282 },
    { u"\\subseteq", 0x2286 },
    { u"\\succcurlyeq", 0x227D },
    { u"\\succeq", 0x227D },
    { u"\\succsim", 0x227F },
    { u"\\succ", 0x227B },
    { u"\\supset", 0x2283 },
    { u"\\supseteq", 0x2287 },
    { u"\\surd", 0x221A },
    { u"\\swarrow", 0x2199 },
    { u"\\tau", 0x03C4 },
    { u"\\therefore", 0x2234 },
    { u"\\theta", 0x03B8 },
    { u"\\thickapprox", 0x2248 },
    { u"\\thicksim", 0x223C },
    { u"\\times", 0x00D7 },
    { u"\\top", 0x22A4 },
    { u"\\triangledown", 0x25BD },
    { u"\\triangleleft", 0x25C1 },
    { u"\\trianglelefteq", 0x22B4 },
    { u"\\triangleq", 0x225C },
    { u"\\triangleright", 0x25B7 },
    { u"\\trianglerighteq", 0x22B5 },
    { u"\\triangle", 0x25B3 },
    { u"\\twoheadleftarrow", 0x219E },
    { u"\\twoheadrightarrow", 0x21A0 },
    { u"\\unlhd", 0x22B4 },
    { u"\\unrhd", 0x22B5 },
    { u"\\uparrow", 0x2191 },
    { u"\\updownarrow", 0x2195 },
    { u"\\upharpoonleft", 0x21BF },
    { u"\\upharpoonright", 0x21BE },
    { u"\\uplus", 0x228E },
    { u"\\upsilon", 0x03C5 },
    { u"\\upuparrows", 0x21C8 },
    { u"\\vDash", 0x22A8 },
    { u"\\varepsilon", 0x03B5 },
    { u"\\varkappa", 0x03F0 },
    { u"\\varnothing", 0x2205 },
    { u"\\varphi", 0x03C6 },
    { u"\\varpi", 0x03D6 },
    { u"\\varpropto", 0x221D },
    { u"\\varrho", 0x03F1 },
    { u"\\varsigma", 0x03C2 },
    { u"\\vartheta", 0x03D1 },
    { u"\\vartriangle", 0x25B3 },
    { u"\\vartriangleleft", 0x22B2 },
    { u"\\vartriangleright", 0x22B3 },
    { u"\\vdash", 0x22A2 },
    { u"\\vdots", 0x22EE },
    { u"\\veebar", 0x22BB },
    { u"\\vee", 0x2228 },
    { u"\\wedge", 0x2227 },
    { u"\\wp", 0x2118 },
    { u"\\wr", 0x2240 },
    { u"\\xi", 0x03BE },
    { u"\\zeta", 0x03B6 },
};

// Looked up when a name is not in the table.
const LatexSymbol InSymbol = { u"\\in", 0x2208 };

const char16_t Backslash = 0x005C;

// Name hash slots: a power of two, about three times the number of names, with linear probing.
constexpr int NameSlotCount = 1024;

std::uint32_t hashName(QStringView name)
{
    std::uint32_t hash = 2166136261u; // FNV-1a over UTF-16 code units
    for (const QChar c : name) {
        hash ^= c.unicode();
        hash *= 16777619u;
    }
    return hash;
}

// Built once, read-only afterwards, so lookups may run on any thread.
struct SymbolIndex
{
    std::array<const LatexSymbol*, NameSlotCount> byName {};
    // Characters of the table with their first entry, sorted by character.
    std::array<const LatexSymbol*, LatexSymbolCount> byCharacter {};
    int characterCount = 0;
    // One bit per BMP character: set when some entry (other than the backslash) holds it.
    std::array<std::uint64_t, 65536 / 64> characterBits {};

    SymbolIndex()
    {
        for (const LatexSymbol& symbol : Symbols)
            addName(&symbol);
        addName(&InSymbol); // only found when no entry has the name
        for (const LatexSymbol& symbol : Symbols) {
            const char16_t c = symbol.character;
            if (c == Backslash || hasCharacter(c))
                continue;
            characterBits[c / 64] |= std::uint64_t(1) << (c % 64);
            int i = characterCount++;
            for (; i > 0 && byCharacter[i - 1]->character > c; --i)
                byCharacter[i] = byCharacter[i - 1];
            byCharacter[i] = &symbol;
        }
    }

    // Keeps the first entry of a name, as a scan in table order would.
    void addName(const LatexSymbol* symbol)
    {
        const QStringView name = symbol->nameView();
        for (std::uint32_t slot = hashName(name);; ++slot) {
            const LatexSymbol*& entry = byName[slot % NameSlotCount];
            if (!entry) {
                entry = symbol;
                return;
            }
            if (entry->nameView() == name)
                return;
        }
    }

    bool hasCharacter(char16_t c) const
    {
        return characterBits[c / 64] & (std::uint64_t(1) << (c % 64));
    }
};

const SymbolIndex& symbolIndex()
{
    static const SymbolIndex index;
    return index;
}

} // namespace

const LatexSymbol* latexSymbols() { return Symbols; }

const LatexSymbol* lookupSymbol(QStringView name)
{
    const SymbolIndex& index = symbolIndex();
    for (std::uint32_t slot = hashName(name);; ++slot) {
        const LatexSymbol* entry = index.byName[slot % NameSlotCount];
        if (!entry)
            return nullptr;
        if (entry->nameView() == name)
            return entry;
    }
}

const LatexSymbol* symbolForCharacter(QChar character)
{
    const SymbolIndex& index = symbolIndex();
    const char16_t c = character.unicode();
    if (!index.hasCharacter(c))
        return nullptr;
    int low = 0;
    int high = index.characterCount;
    while (low < high) {
        const int middle = (low + high) / 2;
        if (index.byCharacter[middle]->character < c)
            low = middle + 1;
        else
            high = middle;
    }
    return index.byCharacter[low];
}

} // namespace Taviosystem
