// Writes the tables of the album options, the error numbers and the resolution presets into a
// manual page's source, so the pages list exactly what the programs take and tell: the roff
// comment line kOptionsMark becomes the command-line options, kSettingsMark the settings
// file's keys, kErrorsMark the error numbers, kPresetsMark the presets. Run by the build.
#include "core/runtimeerror.h"
#include "slides/albumoptions.h"
#include "slides/resolutions.h"

#include <cctype>
#include <fstream>
#include <iostream>
#include <string>

namespace {

constexpr char kOptionsMark[] = ".\\\" The album options, from their table";
constexpr char kSettingsMark[] = ".\\\" The album settings, from their table";
constexpr char kErrorsMark[] = ".\\\" The error numbers, from their table";
constexpr char kPresetsMark[] = ".\\\" The resolution presets, from their table";

// The help's rows as one sentence of roff: a capital, escaped dashes, a full stop.
std::string prose(const QString& help) {
    std::string text;
    for (const char c : help.toStdString()) {
        if (c == '\n')
            text += ' ';
        else if (c == '-')
            text += "\\-";
        else if (c == '\\')
            text += "\\e";
        else
            text += c;
    }
    if (!text.empty())
        text[0] = char(std::toupper(static_cast<unsigned char>(text[0])));
    if (!text.empty() && text.back() != '.')
        text += '.';
    return text;
}

// A name as roff sets it: its dashes as dashes, not hyphens.
std::string dashed(const char* name) {
    std::string text;
    for (const char* c = name; *c; ++c)
        text += *c == '-' ? std::string("\\-") : std::string(1, *c);
    return text;
}

void writeOptions(std::ostream& out, bool settings) {
    for (const slidemill::AlbumOption& row : slidemill::albumOptions()) {
        if (settings ? !row.settingsKey || row.perAlbum : !row.onCommandLine)
            continue;
        out << ".TP\n";
        if (settings)
            out << ".BI " << dashed(row.settingsKey) << "= "
                << (row.argument ? row.argument : "BOOLEAN") << "\n";
        else if (row.argument)
            out << ".BI \\-\\-" << dashed(row.name) << " \" " << row.argument << "\"\n";
        else
            out << ".B \\-\\-" << dashed(row.name) << "\n";
        out << prose(row.helpRows().join(QLatin1Char('\n')));
        const QString unset = row.setting(slidemill::Album());
        if (settings && !unset.isEmpty())
            out << " Unset: " << unset.toStdString() << '.';
        out << "\n";
    }
}

void writeErrors(std::ostream& out) {
    for (const slidemill::ErrorNumberRow& row : slidemill::errorNumbers())
        if (row.meaning)
            out << ".TP\n.B " << row.number << "\n"
                << prose(QStringLiteral("%1: %2").arg(QLatin1String(row.text),
                                                      QLatin1String(row.meaning)))
                << "\n";
}

// "330 high-definition displays; ...; 96 mail.", each number in bold.
void writePresets(std::ostream& out) {
    std::string separator;
    for (const slidemill::ResolutionPreset& preset : slidemill::resolutionPresets()) {
        if (preset.pixelsPerInch == 0)
            continue;
        out << separator << ".B " << preset.pixelsPerInch << "\n"
            << slidemill::resolutionUse(preset).toStdString();
        separator = ";\n";
    }
    out << ".\n";
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::cerr << "usage: manoptions IN OUT\n";
        return 2;
    }
    std::ifstream in(argv[1]);
    std::ofstream out(argv[2]);
    std::string line;
    while (std::getline(in, line)) {
        if (line == kOptionsMark)
            writeOptions(out, false);
        else if (line == kSettingsMark)
            writeOptions(out, true);
        else if (line == kErrorsMark)
            writeErrors(out);
        else if (line == kPresetsMark)
            writePresets(out);
        else
            out << line << '\n';
    }
    out.flush();
    return in.bad() || !out ? 1 : 0;
}
