#include "platform/ini_file.h"

#include "platform/atomic_file.h"
#include "platform/number_parse.h"
#include "platform/read_all.h"
#include "platform/text.h"

#include <cctype>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

namespace {

std::string Trim(const std::string& S)
{
    std::size_t b = 0, e = S.size();
    while (b < e && std::isspace(static_cast<unsigned char>(S[b])))
        ++b;
    while (e > b && std::isspace(static_cast<unsigned char>(S[e - 1])))
        --e;
    return S.substr(b, e - b);
}

bool ParseInt(const std::string& Text, std::int32_t& Out)
{
    const std::optional<std::int32_t> v = ParseInt32(Trim(Text));
    if (v)
        Out = *v;
    return v.has_value();
}

// Reads the file at Path into Text. A missing file reads as empty; any other
// failure answers false with the reason in Error.
bool ReadWholeFile(const std::string& Path, std::string& Text, std::string& Error)
{
    const int fd = ::open(Path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT)
            return true;
        Error = "Cannot open file \"" + Path + "\": " + std::strerror(errno);
        return false;
    }
    const bool Read = ReadAll(fd, Text) == raDone;
    if (!Read) {
        Error = "Cannot read file \"" + Path + "\": " + std::strerror(errno);
        Text.clear();
    }
    ::close(fd);
    return Read;
}

} // namespace

TIniFile::TIniFile(std::string FileName) : FFileName(std::move(FileName))
{
    std::string text;
    if (!ReadWholeFile(FFileName, text, FLoadError))
        return;
    if (text.find("\r\n") != std::string::npos)
        FEol = "\r\n";
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t nl = text.find('\n', pos);
        std::string raw = text.substr(pos, nl == std::string::npos ? std::string::npos : nl - pos);
        pos = nl == std::string::npos ? text.size() : nl + 1;
        if (!raw.empty() && raw.back() == '\r')
            raw.pop_back();
        Line l;
        l.Text = raw;
        const std::string t = Trim(raw);
        if (t.size() >= 2 && t.front() == '[' && t.back() == ']') {
            l.IsHeader = true;
            l.Section = Trim(t.substr(1, t.size() - 2));
        } else if (!t.empty() && t.front() != ';' && t.front() != '#') {
            const std::size_t eq = t.find('=');
            if (eq != std::string::npos && eq > 0) {
                l.Key = Trim(t.substr(0, eq));
                l.Value = Trim(t.substr(eq + 1));
            }
        }
        FLines.push_back(std::move(l));
    }
}

int TIniFile::FindSection(const std::string& Section) const
{
    for (std::size_t i = 0; i < FLines.size(); ++i)
        if (FLines[i].IsHeader && SameText(FLines[i].Section, Section))
            return static_cast<int>(i);
    return -1;
}

int TIniFile::SectionEnd(int S) const
{
    std::size_t i = static_cast<std::size_t>(S) + 1;
    while (i < FLines.size() && !FLines[i].IsHeader)
        ++i;
    return static_cast<int>(i);
}

int TIniFile::FindKey(int S, const std::string& Ident) const
{
    const int end = SectionEnd(S);
    for (int i = S + 1; i < end; ++i)
        if (!FLines[static_cast<std::size_t>(i)].Key.empty()
            && SameText(FLines[static_cast<std::size_t>(i)].Key, Ident))
            return i;
    return -1;
}

std::string TIniFile::ReadString(const std::string& Section, const std::string& Ident, const std::string& Default) const
{
    const int s = FindSection(Section);
    if (s < 0)
        return Default;
    const int k = FindKey(s, Ident);
    return k < 0 ? Default : FLines[static_cast<std::size_t>(k)].Value;
}

std::int32_t TIniFile::ReadInteger(const std::string& Section, const std::string& Ident, std::int32_t Default) const
{
    if (!ValueExists(Section, Ident))
        return Default;
    std::int32_t v;
    return ParseInt(ReadString(Section, Ident, ""), v) ? v : Default;
}

bool TIniFile::ReadBool(const std::string& Section, const std::string& Ident, bool Default) const
{
    return ReadInteger(Section, Ident, Default ? 1 : 0) != 0;
}

bool TIniFile::WriteString(const std::string& Section, const std::string& Ident, const std::string& Value)
{
    // A value is one line: line breaks inside it would split it.
    std::string v;
    for (char c : Value)
        v.push_back(c == '\r' || c == '\n' ? ' ' : c);
    v = Trim(v);
    Line kl;
    kl.Key = Trim(Ident);
    kl.Value = v;
    kl.Text = kl.Key + "=" + v;
    int s = FindSection(Section);
    if (s < 0) {
        Line h;
        h.IsHeader = true;
        h.Section = Trim(Section);
        h.Text = "[" + h.Section + "]";
        FLines.push_back(h);
        FLines.push_back(kl);
    } else {
        const int k = FindKey(s, Ident);
        if (k >= 0) {
            Line& l = FLines[static_cast<std::size_t>(k)];
            l.Value = v;
            l.Text = l.Key + "=" + v;
        } else {
            // After the section's last non-blank line.
            int at = SectionEnd(s);
            while (at > s + 1 && Trim(FLines[static_cast<std::size_t>(at - 1)].Text).empty())
                --at;
            FLines.insert(FLines.begin() + at, kl);
        }
    }
    return UpdateFile();
}

bool TIniFile::WriteInteger(const std::string& Section, const std::string& Ident, std::int32_t Value)
{
    return WriteString(Section, Ident, std::to_string(Value));
}

bool TIniFile::WriteBool(const std::string& Section, const std::string& Ident, bool Value)
{
    return WriteString(Section, Ident, Value ? "1" : "0");
}

bool TIniFile::SectionExists(const std::string& Section) const
{
    return FindSection(Section) >= 0;
}

bool TIniFile::ValueExists(const std::string& Section, const std::string& Ident) const
{
    const int s = FindSection(Section);
    return s >= 0 && FindKey(s, Ident) >= 0;
}

bool TIniFile::DeleteKey(const std::string& Section, const std::string& Ident)
{
    // Every copy of the key goes, in every copy of the section, so that none
    // shows through afterwards.
    bool changed = false;
    bool inSection = false;
    for (auto it = FLines.begin(); it != FLines.end();) {
        if (it->IsHeader)
            inSection = SameText(it->Section, Section);
        if (inSection && !it->IsHeader && !it->Key.empty() && SameText(it->Key, Ident)) {
            it = FLines.erase(it);
            changed = true;
        } else {
            ++it;
        }
    }
    return changed ? UpdateFile() : FLoadError.empty();
}

bool TIniFile::EraseSection(const std::string& Section)
{
    bool changed = false;
    for (int s = FindSection(Section); s >= 0; s = FindSection(Section)) {
        FLines.erase(FLines.begin() + s, FLines.begin() + SectionEnd(s));
        changed = true;
    }
    return changed ? UpdateFile() : FLoadError.empty();
}

bool TIniFile::UpdateFile()
{
    // A file that could not be read is never written over: its lines are not
    // known, and the write would lose them.
    if (!FLoadError.empty())
        return false;
    std::string text;
    for (const Line& l : FLines)
        text += l.Text + FEol;
    std::string error;
    return WriteFileAtomic(FFileName, text, error);
}
