// libFuzzer targets: arbitrary bytes through the number rule, the household
// table and, in report_fuzz, the three reports printed by the real page
// printer into a PDF. survey_fuzz leaves the reports out and runs hundreds of
// times faster, so the number rule and the table get far more inputs.
//
// An input is read three ways:
//  - as a whole, by ReadNumber, checked against a plain reference reading;
//  - split into households at 0x1E and each household into its typed fields
//    (ID, income, persons) at 0x1F; missing fields are empty, a fourth and
//    later field is ignored, and only the first MaxRecords households count.
//    The households are entered from an empty survey twice: first with the
//    raw bytes, then as the data-entry window passes them (decoded as UTF-8
//    and encoded again), and after every AddHousehold the table is compared
//    with a model kept here;
//  - (report_fuzz) the second survey is printed through the three reports,
//    each PDF is read back with poppler, and its text must be the survey's.
//
// Any broken rule prints what broke and aborts, so libFuzzer keeps the input.

#include "Households.h"
#include "PagePrinter.h"
#include "ReadNumber.h"
#include "ReportWriter.h"
#include "Reports.h"
#include "Statistics.h"

#include <QApplication>
#include <QFont>
#include <QGlyphRun>
#include <QHash>
#include <QRawFont>
#include <QSet>
#include <QTemporaryDir>
#include <QTextBoundaryFinder>
#include <QTextLayout>

#include <poppler-document.h>
#include <poppler-page.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <locale.h>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr std::size_t MaxRecords = 60; // past the 41 rows, without slowing every run
constexpr char HouseholdSeparator = '\x1e';
constexpr char FieldSeparator = '\x1f';

[[noreturn]] void Broken(const char *rule, const std::string &detail)
{
    std::fprintf(stderr, "\n*** survey fuzz: %s\n%s\n", rule, detail.c_str());
    std::fflush(stderr);
    std::abort();
}

std::string Quoted(std::string_view bytes)
{
    std::string out = "\"";
    for (unsigned char c : bytes) {
        if (c >= 0x20 && c < 0x7f && c != '"' && c != '\\') {
            out += static_cast<char>(c);
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02x", c);
            out += hex;
        }
    }
    return out + "\"";
}

std::string Show(double value)
{
    char text[64];
    std::snprintf(text, sizeof text, "%.17g", value);
    return text;
}

std::string Show(__int128 value)
{
    const bool negative = value < 0;
    unsigned __int128 magnitude = negative ? -static_cast<unsigned __int128>(value) : value;
    std::string digits;
    do {
        digits.insert(digits.begin(), static_cast<char>('0' + static_cast<int>(magnitude % 10)));
        magnitude /= 10;
    } while (magnitude != 0);
    return negative ? "-" + digits : digits;
}

// --- The number rule -------------------------------------------------------

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The same grammar written out plainly, with the C library doing the
// conversion in the C locale.
double ReferenceReadNumber(std::string_view text)
{
    static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", locale_t{});
    std::string s;
    for (char c : text)
        if (c != ' ' && c != '\t' && c != '\n')
            s += c;
    std::size_t i = 0;
    if (i < s.size() && (s[i] == '+' || s[i] == '-'))
        ++i;
    std::size_t digits = 0;
    for (; i < s.size() && IsDigit(s[i]); ++i)
        ++digits;
    if (i < s.size() && s[i] == '.') {
        std::size_t j = i + 1, fraction = 0;
        for (; j < s.size() && IsDigit(s[j]); ++j)
            ++fraction;
        if (digits + fraction > 0) {
            digits += fraction;
            i = j;
        }
    }
    if (digits == 0)
        return 0.0;
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        std::size_t j = i + 1;
        if (j < s.size() && (s[j] == '+' || s[j] == '-'))
            ++j;
        const std::size_t start = j;
        while (j < s.size() && IsDigit(s[j]))
            ++j;
        if (j > start)
            i = j;
    }
    return strtod_l(s.substr(0, i).c_str(), nullptr, cLocale);
}

void CheckReadNumber(std::string_view text)
{
    const double got = ReadNumber(text);
    const double want = ReferenceReadNumber(text);
    if (got == want)
        return;
    // Below the smallest normal double the program may read 0.
    if (got == 0 && std::fabs(want) < DBL_MIN)
        return;
    Broken("ReadNumber differs from the reference reading",
           "text " + Quoted(text) + "\nReadNumber " + Show(got) + "\nreference  " + Show(want));
}

// --- The household table ---------------------------------------------------

// The value rounded to the given number of decimals, an exact half to even,
// worked out on its decimal digits, which the C library prints exactly given
// enough places (a double with n binary fraction digits has n decimal ones,
// 1074 at most). Empty when the result needs more than 30 digits.
std::optional<__int128> RoundedDigits(double value, int decimals)
{
    int exponent = 0;
    std::frexp(value, &exponent);
    const int places = std::clamp(53 - exponent, decimals + 1, 1074);
    static char digits[1500];
    std::snprintf(digits, sizeof digits, "%.*f", places, std::fabs(value));
    const std::string_view text(digits);
    const std::size_t point = text.find('.');
    const std::string kept = std::string(text.substr(0, point)) + std::string(text.substr(point + 1, decimals));
    const std::string_view rest = text.substr(point + 1 + decimals);
    if (kept.size() > 30)
        return std::nullopt;
    __int128 rounded = 0;
    for (char c : kept)
        rounded = rounded * 10 + (c - '0');
    const bool beyondHalf = rest.find_first_not_of('0', 1) != std::string_view::npos;
    if (rest[0] > '5' || (rest[0] == '5' && (beyondHalf || rounded % 2 != 0)))
        ++rounded;
    return std::signbit(value) ? -rounded : rounded;
}

// An income in ten-thousandths by the program's rule: the double product
// times 10000 rounded half to even while that product is below 2^53, so a
// typed half such as 0.00005 stays a half; beyond, where the product would be
// rounded a second time, the double's exact value. Empty outside the signed
// 64-bit range.
std::optional<__int128> ExactTenThousandths(double value)
{
    if (!std::isfinite(value))
        return std::nullopt;
    const double product = value * 10000.0;
    const auto rounded = std::fabs(product) < 0x1p53 ? RoundedDigits(product, 0) : RoundedDigits(value, 4);
    if (!rounded || *rounded < INT64_MIN || *rounded > INT64_MAX)
        return std::nullopt;
    return rounded;
}

struct ModelRow
{
    std::string id;
    double income;
    double persons;
    __int128 amount;
};

struct Snapshot
{
    std::array<HouseholdRecord, MaxHouseholds> rows;
    std::int16_t count;
    Currency total;
};

Snapshot Take() { return Snapshot{Households, HouseholdCount, TotalIncome}; }

bool SameRecord(const HouseholdRecord &a, const HouseholdRecord &b)
{
    return a.ID == b.ID && std::bit_cast<std::uint64_t>(a.Income) == std::bit_cast<std::uint64_t>(b.Income)
           && std::bit_cast<std::uint64_t>(a.NumPersons) == std::bit_cast<std::uint64_t>(b.NumPersons);
}

bool Same(const Snapshot &a, const Snapshot &b)
{
    if (a.count != b.count || a.total != b.total)
        return false;
    for (int i = 0; i < MaxHouseholds; ++i)
        if (!SameRecord(a.rows[i], b.rows[i]))
            return false;
    return true;
}

const char *Name(AddResult result)
{
    switch (result) {
    case AddResult::Added: return "Added";
    case AddResult::TableFull: return "TableFull";
    case AddResult::IncomeOutOfRange: return "IncomeOutOfRange";
    case AddResult::TotalOutOfRange: return "TotalOutOfRange";
    case AddResult::SizeNotFinite: return "SizeNotFinite";
    }
    return "(not an AddResult)";
}

void StartEmptySurvey()
{
    Households = {};
    HouseholdCount = 0;
    TotalIncome = Currency{};
}

// Enters the households one by one and checks the table after each.
void EnterAndCheck(const std::vector<std::array<std::string, 3>> &households)
{
    StartEmptySurvey();
    std::vector<ModelRow> model;
    __int128 sum = 0;
    for (const auto &fields : households) {
        const std::string &id = fields[0];
        const std::string &incomeText = fields[1];
        const std::string &personsText = fields[2];
        const double income = ReadNumber(incomeText);
        const double persons = ReadNumber(personsText);
        const auto amount = ExactTenThousandths(income);

        AddResult expected = AddResult::Added;
        if (model.size() == MaxHouseholds)
            expected = AddResult::TableFull;
        else if (!amount)
            expected = AddResult::IncomeOutOfRange;
        else if (sum + *amount < INT64_MIN || sum + *amount > INT64_MAX)
            expected = AddResult::TotalOutOfRange;
        else if (!std::isfinite(persons))
            expected = AddResult::SizeNotFinite;

        const Snapshot before = Take();
        const AddResult result = AddHousehold(id, incomeText, personsText);
        const auto call = [&] {
            return "AddHousehold(" + Quoted(id) + ", " + Quoted(incomeText) + ", " + Quoted(personsText) + ") with "
                   + std::to_string(model.size()) + " rows, income reads " + Show(income) + ", persons "
                   + Show(persons);
        };

        if (HouseholdCount < 0 || HouseholdCount > MaxHouseholds)
            Broken("HouseholdCount left 0..41", call() + "\ncount " + std::to_string(HouseholdCount));
        if (result != expected)
            Broken("AddHousehold gave the wrong answer",
                   call() + "\nanswered " + Name(result) + ", expected " + Name(expected));
        if (result != AddResult::Added) {
            if (!Same(before, Take()))
                Broken("a refused household changed the survey", call() + "\nanswered " + Name(result));
            continue;
        }
        model.push_back({id, income, persons, *amount});
        sum += *amount;

        if (HouseholdCount != static_cast<int>(model.size()))
            Broken("HouseholdCount does not count the rows added",
                   call() + "\ncount " + std::to_string(HouseholdCount) + ", rows " + std::to_string(model.size()));
        for (std::size_t i = 0; i < model.size(); ++i) {
            const HouseholdRecord want{model[i].id, model[i].income, model[i].persons};
            if (!SameRecord(Households[i], want))
                Broken("a stored row is not what was typed",
                       call() + "\nrow " + std::to_string(i) + " holds " + Quoted(Households[i].ID) + " "
                           + Show(Households[i].Income) + " " + Show(Households[i].NumPersons));
        }
        for (int i = HouseholdCount; i < MaxHouseholds; ++i)
            if (!SameRecord(Households[i], before.rows[i]))
                Broken("an unused row changed", call() + "\nrow " + std::to_string(i));
        if (TotalIncome.tenThousandths != sum)
            Broken("TotalIncome is not the exact sum of the stored incomes",
                   call() + "\nTotalIncome " + Show(static_cast<__int128>(TotalIncome.tenThousandths))
                       + " ten-thousandths, exact sum " + Show(sum));
    }
}

// --- The statistics ----------------------------------------------------------

// Round-half-even division for the figures below.
__int128 Divided(__int128 numerator, __int128 denominator)
{
    __int128 quotient = numerator / denominator;
    __int128 rest = numerator % denominator;
    if (rest < 0) {
        --quotient;
        rest += denominator;
    }
    if (2 * rest > denominator || (2 * rest == denominator && quotient % 2 != 0))
        ++quotient;
    return quotient;
}

void CheckStatistics()
{
    if (HouseholdCount == 0)
        return;
    std::string incomes;
    std::int64_t lowest = INT64_MAX, highest = INT64_MIN;
    for (int i = 0; i < HouseholdCount; ++i) {
        const std::int64_t amount = Currency::FromDoubleSaturated(Households[i].Income).tenThousandths;
        lowest = std::min(lowest, amount);
        highest = std::max(highest, amount);
        incomes += " " + Show(Households[i].Income);
    }
    // Otherwise every household would be above the average, or none below it.
    const Currency average = AverageIncome();
    if (average.tenThousandths < lowest || average.tenThousandths > highest)
        Broken("the average income lies outside the incomes",
               "incomes" + incomes + "\naverage " + Show(static_cast<__int128>(average.tenThousandths))
                   + " ten-thousandths, incomes from " + Show(static_cast<__int128>(lowest)) + " to "
                   + Show(static_cast<__int128>(highest)));

    const int below = BelowPovertyCount();
    if (below < 0 || below > HouseholdCount)
        Broken("more households below the poverty level than households", std::to_string(below));
    // Up to 41 households the double quotient is never close enough to a
    // half to round otherwise than the exact fraction.
    const Currency fraction = BelowPovertyFraction();
    const __int128 exact = Divided(static_cast<__int128>(below) * 10000, HouseholdCount);
    if (fraction.tenThousandths != exact)
        Broken("the share below the poverty level is not below / count in four decimals",
               std::to_string(below) + " of " + std::to_string(HouseholdCount) + " gave "
                   + Show(static_cast<__int128>(fraction.tenThousandths)) + " ten-thousandths");
}

// --- The printed reports ---------------------------------------------------

// What text extraction can be held to. Both sides are brought to NFKC (so a
// precomposed glyph matches a base letter with its combining mark, and a
// compatibility form its plain letters), then everything without a visible
// glyph of its own is dropped: white space (the page printer's blanks, and
// extraction's own line and word breaks), controls, format characters
// (zero-width and bidi controls), combining marks left over after
// composition, and unassigned code points. Rows are joined, so an ID
// wrapped onto continuation rows and pages reads back whole.
bool HasOwnGlyph(char32_t c)
{
    if (QChar::isSpace(c))
        return false;
    switch (QChar::category(c)) {
    case QChar::Other_Control:
    case QChar::Other_Format:
    case QChar::Other_Surrogate:
    case QChar::Other_NotAssigned:
    case QChar::Mark_NonSpacing:
    case QChar::Mark_Enclosing:
        return false;
    default:
        return true;
    }
}

QTemporaryDir *ReportDir;

QString PdfText(const QString &path, const std::string &what)
{
    const std::unique_ptr<poppler::document> pdf(poppler::document::load_from_file(path.toStdString()));
    if (!pdf || pdf->is_locked())
        Broken("a printed report is no readable PDF", what);
    QString text;
    for (int i = 0; i < pdf->pages(); ++i) {
        const std::unique_ptr<poppler::page> page(pdf->create_page(i));
        if (!page)
            Broken("a page of a printed report cannot be read", what);
        const poppler::byte_array utf8 = page->text(poppler::rectf(), poppler::page::raw_order_layout).to_utf8();
        text += QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
    }
    return text;
}

QString WithGlyphs(const QString &text)
{
    QString out;
    for (char32_t c : text.normalized(QString::NormalizationForm_KC).toUcs4())
        if (HasOwnGlyph(c))
            out += QString::fromUcs4(&c, 1);
    return out;
}

// The family of a font that draws a visible BMP character of the cluster with
// that character's own glyph, in the report's fonts and their fallbacks; empty
// if none does. The PDF names such a glyph, so it must read back; a box, a
// shaped form (Mongolian, Khmer ligatures) or a glyph beyond the BMP need not.
QString FontDrawingItself(const QString &cluster)
{
    QTextLayout layout(QStringLiteral("a ") + cluster, PagePrinter::ReportFont());
    layout.beginLayout();
    layout.createLine();
    layout.endLayout();
    for (const QGlyphRun &run : layout.glyphRuns()) {
        const QRawFont font = run.rawFont();
        // The box face has no tables, and no family name to ask for.
        if (font.fontTable("cmap").isEmpty())
            continue;
        for (char32_t c : cluster.toUcs4()) {
            const QString character = QString::fromUcs4(&c, 1);
            if (c > 0xFFFF || WithGlyphs(character).isEmpty())
                continue;
            const quint32 own = font.glyphIndexesForString(character).value(0);
            if (own != 0 && run.glyphIndexes().contains(own))
                return font.familyName();
        }
    }
    return {};
}

// Beyond ASCII the PDF names a glyph by one code point of the font's choice
// (a CJK font draws 户 and the radical ⼾ alike, and the PDF says ⼾), a
// character no font has comes back as whatever the missing-glyph box maps to,
// or nothing, and a ligature character (U+FD01) is drawn as itself, not as
// the letters it stands for. So each character as the reader sees it (a
// grapheme cluster, or a run of joining letters) is held to read back, in
// every report, as it does printed on its own.
QString ReadsBackAs(const QString &cluster)
{
    static QHash<QString, QString> known;
    const auto found = known.constFind(cluster);
    if (found != known.cend())
        return *found;
    const QString path = ReportDir->filePath(QStringLiteral("alone.pdf"));
    // After a Latin letter and a blank, as most IDs have them: a character
    // of no script of its own takes its neighbour's, and a mark needs a base.
    PagePrinter printer(path);
    printer.PrintAt(15, QStringLiteral("a ") + cluster);
    printer.NewLine();
    if (printer.EndDoc(QStringLiteral("alone")).status != PrintResult::Status::Printed)
        Broken("a single character could not be printed", cluster.toStdString());
    QString alone = WithGlyphs(PdfText(path, "one character alone"));
    if (!alone.startsWith(QLatin1Char('a')))
        Broken("a letter a before a character does not read back", cluster.toStdString());
    alone.remove(0, 1);
    if (const QString family = alone.isEmpty() ? FontDrawingItself(cluster) : QString(); !family.isEmpty())
        Broken("a character a font draws prints as nothing", (cluster + " in " + family).toStdString());
    known.insert(cluster, alone);
    return alone;
}

QStringList Clusters(const QString &text)
{
    QStringList clusters;
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    qsizetype start = 0;
    for (qsizetype end = finder.toNextBoundary(); end != -1; end = finder.toNextBoundary()) {
        // After Indic or Thai letters the finder also stops inside a
        // surrogate pair; the layout never does.
        if (end < text.size() && text[end].isLowSurrogate() && text[end - 1].isHighSurrogate())
            continue;
        clusters.append(text.mid(start, end - start));
        start = end;
    }
    return clusters;
}

// A joining letter (Arabic, Mongolian...) takes its form from its neighbours,
// maybe a glyph the PDF cannot name: a run of them is checked as a whole.
bool Joins(const QString &cluster)
{
    const QList<uint> codes = cluster.toUcs4();
    return std::any_of(codes.cbegin(), codes.cend(), [](char32_t c) {
        const QChar::JoiningType type = QChar::joiningType(c);
        return type != QChar::Joining_None && type != QChar::Joining_Transparent;
    });
}

// Which UTF-16 units a right-to-left override holds, by the bidi
// algorithm's explicit rules: from the override to its closing PDF, with
// embeddings and isolates nested inside it. The page lays an item out as one
// paragraph, so a line break inside an ID ends no override.
std::vector<bool> UnderRightToLeftOverride(const QString &text)
{
    struct Entry
    {
        int level;
        bool rightToLeftOverride;
        bool isolate;
    };
    constexpr int MaxDepth = 125;
    std::vector<Entry> stack{{0, false, false}};
    int overflowIsolates = 0, overflowEmbeddings = 0, validIsolates = 0;
    const QList<uint> codes = text.toUcs4();
    // An FSI is right to left when the first strong character up to its PDI is.
    const auto firstStrongIsRightToLeft = [&codes](qsizetype from) {
        int depth = 0;
        for (qsizetype i = from; i < codes.size(); ++i) {
            switch (QChar::direction(codes[i])) {
            case QChar::DirL:
                if (depth == 0)
                    return false;
                break;
            case QChar::DirR:
            case QChar::DirAL:
                if (depth == 0)
                    return true;
                break;
            case QChar::DirLRI:
            case QChar::DirRLI:
            case QChar::DirFSI:
                ++depth;
                break;
            case QChar::DirPDI:
                if (depth-- == 0)
                    return false;
                break;
            default:
                break;
            }
        }
        return false;
    };
    std::vector<bool> under;
    under.reserve(static_cast<std::size_t>(text.size()));
    for (qsizetype i = 0; i < codes.size(); ++i) {
        const char32_t c = codes[i];
        under.insert(under.end(), QChar::requiresSurrogates(c) ? 2 : 1, stack.back().rightToLeftOverride);
        const QChar::Direction direction = QChar::direction(c);
        switch (direction) {
        case QChar::DirLRE:
        case QChar::DirRLE:
        case QChar::DirLRO:
        case QChar::DirRLO:
        case QChar::DirLRI:
        case QChar::DirRLI:
        case QChar::DirFSI: {
            const bool isolate = direction == QChar::DirLRI || direction == QChar::DirRLI || direction == QChar::DirFSI;
            const bool rightToLeft = direction == QChar::DirRLE || direction == QChar::DirRLO
                                     || direction == QChar::DirRLI
                                     || (direction == QChar::DirFSI && firstStrongIsRightToLeft(i + 1));
            const int level = rightToLeft ? (stack.back().level + 1) | 1 : (stack.back().level + 2) & ~1;
            if (level <= MaxDepth && overflowIsolates == 0 && overflowEmbeddings == 0) {
                validIsolates += isolate;
                stack.push_back({level, direction == QChar::DirRLO, isolate});
            } else if (isolate) {
                ++overflowIsolates;
            } else if (overflowIsolates == 0) {
                ++overflowEmbeddings;
            }
            break;
        }
        case QChar::DirPDI:
            if (overflowIsolates > 0) {
                --overflowIsolates;
            } else if (validIsolates > 0) {
                overflowEmbeddings = 0;
                while (!stack.back().isolate)
                    stack.pop_back();
                stack.pop_back();
                --validIsolates;
            }
            break;
        case QChar::DirPDF:
            if (overflowIsolates > 0)
                break;
            if (overflowEmbeddings > 0)
                --overflowEmbeddings;
            else if (!stack.back().isolate && stack.size() > 1)
                stack.pop_back();
            break;
        default:
            break;
        }
    }
    return under;
}

QString FromUcs4(const QList<uint> &codes)
{
    return QString::fromUcs4(reinterpret_cast<const char32_t *>(codes.constData()), codes.size());
}

// A right-to-left override turns the characters it holds round, as the bidi
// algorithm asks, and the shaper keeps each letter with the marks and virama
// after it: a conjunct typed there comes apart, and each of its letters
// prints. So there a cluster is read letter by letter, split after each
// virama that a letter follows (a joiner after it keeps the half form).
QStringList AsTheOverrideShowsThem(const QString &text)
{
    const std::vector<bool> under = UnderRightToLeftOverride(text);
    QStringList shown;
    qsizetype at = 0;
    for (const QString &cluster : Clusters(text)) {
        const bool overridden = under[static_cast<std::size_t>(at)];
        at += cluster.size();
        if (!overridden) {
            shown << cluster;
            continue;
        }
        const QList<uint> codes = cluster.toUcs4();
        QList<uint> letter;
        for (qsizetype i = 0; i < codes.size(); ++i) {
            letter << codes[i];
            if (QChar::combiningClass(codes[i]) == 9 && i + 1 < codes.size() && QChar::isLetter(codes[i + 1])) {
                shown << FromUcs4(letter);
                letter.clear();
            }
        }
        shown << FromUcs4(letter);
    }
    return shown;
}

QString Visible(const QString &text)
{
    QString out;
    const QStringList clusters = AsTheOverrideShowsThem(text);
    for (qsizetype i = 0; i < clusters.size(); ++i) {
        QString cluster = clusters[i];
        while (Joins(cluster) && i + 1 < clusters.size() && Joins(clusters[i + 1]))
            cluster += clusters[++i];
        if (cluster.size() == 1 && cluster[0].unicode() < 0x80)
            out += WithGlyphs(cluster);
        else if (!WithGlyphs(cluster).isEmpty())
            out += ReadsBackAs(cluster);
    }
    return out;
}

QString PrintedText(const char *report, std::optional<PrintResult> (*print)(Printer &, QWidget *))
{
    const QString path = ReportDir->filePath(QStringLiteral("report.pdf"));
    PagePrinter printer(path);
    const std::optional<PrintResult> result = print(printer, nullptr);
    if (!result || result->status != PrintResult::Status::Printed)
        Broken("a report was not printed",
               std::string(report) + ": " + (result ? result->detail.toStdString() : "nothing printed"));

    return PdfText(path, report);
}

// Right-to-left text, Arabic digits and explicit direction controls are
// printed in visual order, which extraction does not undo reliably, and a
// bracket among them is drawn mirrored. Such an ID is held to the same
// visible characters in any order, mirrored pairs counted as one, over
// exactly its own stretch of the printed text; everything else in order.
bool ReordersOnPaper(const QString &text)
{
    for (char32_t c : text.toUcs4()) {
        switch (QChar::direction(c)) {
        case QChar::DirR:
        case QChar::DirAL:
        case QChar::DirAN:
        case QChar::DirLRE:
        case QChar::DirLRO:
        case QChar::DirRLE:
        case QChar::DirRLO:
        case QChar::DirPDF:
        case QChar::DirLRI:
        case QChar::DirRLI:
        case QChar::DirFSI:
        case QChar::DirPDI:
            return true;
        default:
            break;
        }
    }
    return false;
}

char32_t Unmirrored(char32_t c) { return std::min(c, QChar::mirroredChar(c)); }

// Drawn before its letter, often as a variant glyph no code point maps to, so
// the PDF's text may leave it out (Unicode's Indic positional category Left;
// past the BMP nothing reads back at all) or, in drawing order, hold it just
// before the character it follows. All spacing marks, so never in a
// fixed-length part.
bool DrawnBeforeItsLetter(char32_t c)
{
    static const QSet<char32_t> signs{0x093F, 0x094E, 0x09BF, 0x09C7, 0x09C8, 0x0A3F, 0x0ABF, 0x0B47, 0x0BC6,
                                      0x0BC7, 0x0BC8, 0x0D46, 0x0D47, 0x0D48, 0x0DD9, 0x0DDB, 0x0F3F, 0x1031,
                                      0x1084, 0x17C1, 0x17C2, 0x17C3, 0x1A19, 0x1A55, 0x1A6E, 0x1A6F, 0x1A70,
                                      0x1A71, 0x1A72, 0x1B3E, 0x1B3F, 0x1BA6, 0x1C27, 0x1C28, 0x1C34, 0x1C35,
                                      0xA9BA, 0xA9BB, 0xAA2F, 0xAA30, 0xAA34, 0xAAEB, 0xAAEE};
    return signs.contains(c);
}

// A soft hyphen is invisible, except that Qt draws it as a hyphen where a
// row or a laid-out text ends, as at the end of an ID.
constexpr char32_t SoftHyphen = 0xAD;

bool IsHyphen(char32_t c) { return c == U'-' || c == 0x2010; }

// A combining mark with nothing to combine with is drawn on a dotted circle.
constexpr char32_t DottedCircle = 0x25CC;

// A control prints as nothing, so a combining mark that starts a character
// right after one has no letter under it: the page stands it on a dotted
// circle, which must be there.
QString OnDottedCircles(const QString &text)
{
    QString out;
    const QStringList clusters = Clusters(text);
    for (qsizetype i = 0; i < clusters.size(); ++i) {
        if (i > 0 && QChar::isMark(clusters[i].toUcs4().front())) {
            switch (QChar::category(clusters[i - 1].toUcs4().back())) {
            case QChar::Other_Control:
            case QChar::Other_Format:
            case QChar::Separator_Line:
            case QChar::Separator_Paragraph:
                out += QChar(DottedCircle);
                break;
            default:
                break;
            }
        }
        out += clusters[i];
    }
    return out;
}

// Marks that may get a dotted circle from the shaper: one already on a
// circle may get another, where its script's shaper finds the circle no base
// for it (a virama).
int Marks(const QString &text)
{
    int marks = 0;
    for (char32_t c : text.normalized(QString::NormalizationForm_KC).toUcs4())
        if (QChar::isMark(c))
            ++marks;
    return marks;
}

struct Expected
{
    QList<uint> text; // visible characters
    bool inOrder = true;
    int softHyphens = 0;   // this many hyphens may be printed besides
    int marks = 0;         // and this many dotted circles
    // How many printed characters the part can take, at most.
    qsizetype Longest() const { return text.size() + softHyphens + marks; }
    bool Losable(char32_t c) const { return DrawnBeforeItsLetter(c); }
};

struct ExpectedReport
{
    QList<Expected> parts;

    void Add(const QString &typed)
    {
        const QString text = OnDottedCircles(typed);
        const bool inOrder = !ReordersOnPaper(text);
        const QList<uint> shy = text.normalized(QString::NormalizationForm_KC).toUcs4();
        const auto softHyphens = static_cast<int>(std::count(shy.cbegin(), shy.cend(), SoftHyphen));
        if (!inOrder) {
            parts.append({Visible(text).toUcs4(), false, softHyphens, Marks(text)});
            return;
        }
        // In order, each soft hyphen is a part of its own that may print as a
        // hyphen or as nothing.
        const QStringList pieces = text.split(QChar(SoftHyphen));
        for (qsizetype i = 0; i < pieces.size(); ++i) {
            if (i > 0)
                parts.append({{}, true, 1, 0});
            Append({Visible(pieces[i]).toUcs4(), true, 0, Marks(pieces[i])});
        }
    }

    void Append(const Expected &part)
    {
        const auto plain = [](const Expected &p) {
            return p.inOrder && p.softHyphens == 0 && p.marks == 0;
        };
        if (plain(part) && !parts.isEmpty() && plain(parts.last()))
            parts.last().text += part.text;
        else
            parts.append(part);
    }
};

// Whether printed[from, to) reads back as the part; if not, where it went
// wrong in each.
struct Verdict
{
    bool ok;
    qsizetype printedAt;
    qsizetype expectedAt;
};

Verdict Reads(const Expected &part, const QList<uint> &printed, qsizetype from, qsizetype to)
{
    const QList<uint> &want = part.text;
    if (part.inOrder) {
        // Equal characters are equally losable, so taking a match whenever
        // one offers itself never misses a reading.
        qsizetype at = from;
        int hyphens = part.softHyphens;
        int circles = part.marks;
        for (qsizetype i = 0; i <= want.size(); ++i) {
            while (at < to && (i == want.size() || printed[at] != want[i])) {
                if (hyphens > 0 && IsHyphen(printed[at]))
                    --hyphens;
                else if (circles > 0 && printed[at] == DottedCircle)
                    --circles;
                else
                    break;
                ++at;
            }
            if (i == want.size())
                break;
            if (at < to && printed[at] == want[i])
                ++at;
            else if (i + 1 < want.size() && DrawnBeforeItsLetter(want[i + 1]) && at + 1 < to
                     && printed[at] == want[i + 1] && printed[at + 1] == want[i])
                at += 2, ++i;
            // Two signs with no letter: the second, drawn before its letter,
            // goes before the dotted circle that stands in for one.
            else if (i + 1 < want.size() && DrawnBeforeItsLetter(want[i + 1]) && circles > 0 && at + 2 < to
                     && printed[at] == want[i + 1] && printed[at + 1] == DottedCircle && printed[at + 2] == want[i])
                at += 3, ++i, --circles;
            else if (!part.Losable(want[i]))
                return {false, at, i};
        }
        return {at == to, at, want.size()};
    }
    QHash<char32_t, int> left;
    for (uint c : want)
        ++left[Unmirrored(c)];
    int hyphens = part.softHyphens;
    int circles = part.marks;
    for (qsizetype at = from; at < to; ++at) {
        const char32_t c = Unmirrored(printed[at]);
        if (left.value(c) > 0)
            --left[c];
        else if (hyphens > 0 && IsHyphen(c))
            --hyphens;
        else if (circles > 0 && c == DottedCircle)
            --circles;
        else
            return {false, at, 0};
    }
    for (auto c = left.cbegin(); c != left.cend(); ++c)
        if (c.value() > 0 && !part.Losable(c.key()))
            return {false, to, 0};
    return {true, to, 0};
}

void CheckPrinted(const char *report, std::optional<PrintResult> (*print)(Printer &, QWidget *),
                  const ExpectedReport &expected)
{
    const QList<uint> printed = WithGlyphs(PrintedText(report, print)).toUcs4();
    const auto text = [](const QList<uint> &characters, qsizetype at) {
        const qsizetype from = std::clamp<qsizetype>(at - 20, 0, characters.size());
        const qsizetype count = std::min<qsizetype>(60, characters.size() - from);
        return "..." + QString::fromUcs4(reinterpret_cast<const char32_t *>(characters.constData()) + from, count)
                           .toStdString() + "...";
    };

    // A part that may lose characters, or print soft hyphens or dotted
    // circles, can take any of several lengths: try each, longest first, remembering what failed.
    const Expected nothingMore{QString(QStringLiteral("(nothing more)")).toUcs4()};
    std::pair<const Expected *, Verdict> furthest{&nothingMore, Verdict{false, -1, 0}};
    QSet<QPair<qsizetype, qsizetype>> failed;
    const std::function<bool(qsizetype, qsizetype)> rest = [&](qsizetype index, qsizetype at) {
        if (index == expected.parts.size()) {
            if (at == printed.size())
                return true;
            if (at > furthest.second.printedAt)
                furthest = {&nothingMore, Verdict{false, at, 0}};
            return false;
        }
        if (failed.contains({index, at}))
            return false;
        const Expected &part = expected.parts[index];
        const bool fixedLength = part.softHyphens == 0 && part.marks == 0;
        const qsizetype longest = std::min(printed.size(), at + part.Longest());
        for (qsizetype to = longest; to >= (fixedLength ? longest : at); --to) {
            const Verdict verdict = Reads(part, printed, at, to);
            if (verdict.ok && rest(index + 1, to))
                return true;
            if (!verdict.ok && verdict.printedAt > furthest.second.printedAt)
                furthest = {&part, verdict};
        }
        failed.insert({index, at});
        return false;
    };
    if (rest(0, 0))
        return;
    const Expected &part = *furthest.first;
    std::string ids;
    for (int i = 0; i < HouseholdCount; ++i)
        ids += "\n  row " + std::to_string(i) + ": " + Quoted(Households[i].ID);
    Broken("a printed report does not read back as the survey",
           std::string(report) + ": from visible character " + std::to_string(furthest.second.printedAt)
               + (part.inOrder ? "" : ", in any order")
               + "\nprinted  " + text(printed, furthest.second.printedAt) + "\nexpected "
               + text(part.text, furthest.second.expectedAt) + "\nIDs:" + ids);
}

QString Id(const HouseholdRecord &record) { return QString::fromStdString(record.ID); }

void CheckReports()
{
    ExpectedReport listing;
    listing.Add(QStringLiteral("Listing of Data Entered ID Number Income Number in House"));
    for (int i = 0; i < HouseholdCount; ++i) {
        listing.Add(Id(Households[i]));
        listing.Add(FormatNumber(Households[i].Income) + FormatNumber(Households[i].NumPersons));
    }
    CheckPrinted("Listing of Data Entered", PrintDataListing, listing);

    const Currency average = AverageIncome();
    ExpectedReport above;
    above.Add(QStringLiteral("Households Exceeding Average Income ID Number Income"));
    for (int i = 0; i < HouseholdCount; ++i) {
        if (IsAboveAverage(Households[i], average)) {
            above.Add(Id(Households[i]));
            above.Add(FormatNumber(Households[i].Income));
        }
    }
    CheckPrinted("Households Exceeding Average Income", PrintAboveAverage, above);

    ExpectedReport poverty;
    poverty.Add(QStringLiteral("Poverty Level Summary The Percentage of households having income below poverty level ")
                + FormatPercent(BelowPovertyFraction()));
    CheckPrinted("Poverty Level Summary", PrintPovertySummary, poverty);
}

std::vector<std::array<std::string, 3>> SplitHouseholds(std::string_view input)
{
    std::vector<std::array<std::string, 3>> households;
    std::size_t start = 0;
    while (start <= input.size() && households.size() < MaxRecords) {
        std::size_t end = input.find(HouseholdSeparator, start);
        if (end == std::string_view::npos)
            end = input.size();
        std::array<std::string, 3> fields;
        std::size_t field = 0, from = start;
        while (field < 3) {
            std::size_t to = input.find(FieldSeparator, from);
            if (to == std::string_view::npos || to > end)
                to = end;
            fields[field++] = std::string(input.substr(from, to - from));
            if (to == end)
                break;
            from = to + 1;
        }
        households.push_back(std::move(fields));
        start = end + 1;
    }
    return households;
}

std::string AsTheWindowPasses(const std::string &typed)
{
    return QString::fromUtf8(typed.data(), static_cast<qsizetype>(typed.size())).toStdString();
}

} // namespace

// Fontconfig keeps what it loads for the life of the process.
extern "C" const char *__lsan_default_suppressions()
{
    return "leak:libfontconfig.so\n";
}

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    if (!PLENDRIK_FUZZ_REPORTS)
        return 0;
    // Font fallback warns about every face that lacks a script; only worse is worth a line.
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &, const QString &message) {
        if (type == QtCriticalMsg || type == QtFatalMsg)
            std::fprintf(stderr, "%s\n", qPrintable(message));
    });
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // Never destroyed: by the time a static would be, at exit, the toolkit's
    // per-thread font cache is gone, and removing the report's own faces
    // would need it. (The program's application lives in main and goes first.)
    static const QApplication *app = new QApplication(*argc, *argv);
    Q_UNUSED(app);
    static QTemporaryDir dir;
    if (!dir.isValid())
        Broken("no temporary folder for the reports", dir.errorString().toStdString());
    ReportDir = &dir;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string_view input(reinterpret_cast<const char *>(data), size);
    CheckReadNumber(input);

    auto households = SplitHouseholds(input);
    for (const auto &fields : households) {
        CheckReadNumber(fields[1]);
        CheckReadNumber(fields[2]);
    }
    EnterAndCheck(households);

    for (auto &fields : households)
        for (std::string &field : fields)
            field = AsTheWindowPasses(field);
    EnterAndCheck(households);
    CheckStatistics();
    // An empty survey would stop at the no-data message box.
    if (PLENDRIK_FUZZ_REPORTS && HouseholdCount > 0)
        CheckReports();

    StartEmptySurvey();
    return 0;
}
