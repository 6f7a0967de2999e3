// Reads the subset of the resource-script language that en.rc and ja.rc use, with the statement
// defaults windres applies, so that the simulated dialogs match the compiled ones control for
// control. Anything outside that subset is rejected with the file and line.
#include "res/catalog.h"

#include <cctype>
#include <functional>
#include <stdexcept>

#include "res/rc_embedded.h"

namespace res {
namespace {

using namespace style;

struct Token {
    enum Kind { Ident, Number, String, Punct, End } kind = End;
    std::string text;  // identifier, decoded string or punctuation
    int64_t value = 0;
    int line = 0;
};

// Windows names the scripts may use besides the #defines of resource.h.
const std::map<std::string, int64_t>& KnownNames() {
    static const std::map<std::string, int64_t> names = {
        {"WS_OVERLAPPED", WS_OVERLAPPED},
        {"WS_POPUP", WS_POPUP},
        {"WS_CHILD", WS_CHILD},
        {"WS_MINIMIZE", WS_MINIMIZE},
        {"WS_VISIBLE", WS_VISIBLE},
        {"WS_DISABLED", WS_DISABLED},
        {"WS_CLIPSIBLINGS", WS_CLIPSIBLINGS},
        {"WS_CLIPCHILDREN", WS_CLIPCHILDREN},
        {"WS_CAPTION", WS_CAPTION},
        {"WS_BORDER", WS_BORDER},
        {"WS_DLGFRAME", WS_DLGFRAME},
        {"WS_VSCROLL", WS_VSCROLL},
        {"WS_HSCROLL", WS_HSCROLL},
        {"WS_SYSMENU", WS_SYSMENU},
        {"WS_THICKFRAME", WS_THICKFRAME},
        {"WS_GROUP", WS_GROUP},
        {"WS_TABSTOP", WS_TABSTOP},
        {"WS_MINIMIZEBOX", WS_MINIMIZEBOX},
        {"WS_MAXIMIZEBOX", WS_MAXIMIZEBOX},
        {"WS_EX_DLGMODALFRAME", WS_EX_DLGMODALFRAME},
        {"WS_EX_TOPMOST", WS_EX_TOPMOST},
        {"WS_EX_TRANSPARENT", WS_EX_TRANSPARENT},
        {"WS_EX_TOOLWINDOW", WS_EX_TOOLWINDOW},
        {"WS_EX_WINDOWEDGE", WS_EX_WINDOWEDGE},
        {"WS_EX_CLIENTEDGE", WS_EX_CLIENTEDGE},
        {"WS_EX_CONTROLPARENT", WS_EX_CONTROLPARENT},
        {"WS_EX_STATICEDGE", WS_EX_STATICEDGE},
        {"WS_EX_APPWINDOW", WS_EX_APPWINDOW},
        {"DS_ABSALIGN", DS_ABSALIGN},
        {"DS_SYSMODAL", DS_SYSMODAL},
        {"DS_3DLOOK", DS_3DLOOK},
        {"DS_FIXEDSYS", DS_FIXEDSYS},
        {"DS_NOFAILCREATE", DS_NOFAILCREATE},
        {"DS_LOCALEDIT", DS_LOCALEDIT},
        {"DS_SETFONT", DS_SETFONT},
        {"DS_MODALFRAME", DS_MODALFRAME},
        {"DS_NOIDLEMSG", DS_NOIDLEMSG},
        {"DS_SETFOREGROUND", DS_SETFOREGROUND},
        {"DS_CONTROL", DS_CONTROL},
        {"DS_CENTER", DS_CENTER},
        {"DS_CENTERMOUSE", DS_CENTERMOUSE},
        {"DS_CONTEXTHELP", DS_CONTEXTHELP},
        {"DS_SHELLFONT", DS_SHELLFONT},
        {"BS_PUSHBUTTON", BS_PUSHBUTTON},
        {"BS_DEFPUSHBUTTON", BS_DEFPUSHBUTTON},
        {"BS_CHECKBOX", BS_CHECKBOX},
        {"BS_AUTOCHECKBOX", BS_AUTOCHECKBOX},
        {"BS_GROUPBOX", BS_GROUPBOX},
        {"SS_LEFT", SS_LEFT},
        {"SS_CENTER", SS_CENTER},
        {"SS_RIGHT", SS_RIGHT},
        {"SS_ICON", SS_ICON},
        {"SS_NOPREFIX", SS_NOPREFIX},
        {"SS_CENTERIMAGE", SS_CENTERIMAGE},
        {"CBS_SIMPLE", CBS_SIMPLE},
        {"CBS_DROPDOWN", CBS_DROPDOWN},
        {"CBS_DROPDOWNLIST", CBS_DROPDOWNLIST},
        {"CBS_AUTOHSCROLL", CBS_AUTOHSCROLL},
        {"CBS_SORT", CBS_SORT},
        {"CBS_HASSTRINGS", CBS_HASSTRINGS},
        {"PBS_SMOOTH", PBS_SMOOTH},
        {"PBS_VERTICAL", PBS_VERTICAL},
        {"ACS_CENTER", ACS_CENTER},
        {"ACS_TRANSPARENT", ACS_TRANSPARENT},
        {"ACS_AUTOPLAY", ACS_AUTOPLAY},
        {"ACS_TIMER", ACS_TIMER},
        {"IDOK", 1},
        {"IDCANCEL", 2},
        {"IDC_STATIC", -1},
        {"LANG_NEUTRAL", 0x00},
        {"LANG_ENGLISH", 0x09},
        {"LANG_JAPANESE", 0x11},
        {"SUBLANG_NEUTRAL", 0x00},
        {"SUBLANG_DEFAULT", 0x01},
        {"SUBLANG_ENGLISH_US", 0x01},
        {"SUBLANG_JAPANESE_JAPAN", 0x01},
    };
    return names;
}

// Canonical spelling of the window classes a template may name.
std::string CanonicalClass(const std::string& name) {
    static const char* const known[] = {
        "Button", "Static", "ComboBox", "Edit", "ListBox", "msctls_progress32", "SysAnimate32"};
    for (const char* k : known) {
        std::string a = name, b = k;
        for (auto& c : a) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        for (auto& c : b) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (a == b) return k;
    }
    return name;
}

class Parser {
  public:
    Parser(const std::map<std::string, std::string>& files) : files_(files) {}

    Catalog Parse(const std::string& fileName, const std::string& text, Lang lang) {
        Tokenize(fileName, text);
        tokens_.push_back(Token{Token::End, "", 0, line_});
        pos_ = 0;
        bool sawLanguage = false;
        while (Peek().kind != Token::End) {
            if (IsWord("LANGUAGE")) {
                Next();
                int64_t primary = Expr();
                Expect(",");
                int64_t sub = Expr();
                const bool english = primary == 0x09 && sub == 0x01;
                const bool japanese = primary == 0x11 && sub == 0x01;
                if ((lang == Lang::English && !english) || (lang == Lang::Japanese && !japanese))
                    Fail("LANGUAGE does not match the language of this script");
                sawLanguage = true;
            } else if (IsWord("STRINGTABLE")) {
                if (!sawLanguage) Fail("STRINGTABLE before LANGUAGE");
                Next();
                StringTable();
            } else {
                if (!sawLanguage) Fail("resource before LANGUAGE");
                const Token& idTok = Peek();
                int id = static_cast<int>(Expr());
                if (!IsWord("DIALOGEX")) Fail("only DIALOGEX and STRINGTABLE resources are read");
                Next();
                DialogTemplate dlg = Dialog(id);
                if (!catalog_.dialogs.emplace(id, std::move(dlg)).second)
                    Fail("dialog " + std::to_string(id) + " defined twice", idTok.line);
            }
        }
        if (!sawLanguage) Fail("no LANGUAGE statement");
        return std::move(catalog_);
    }

  private:
    // ---- lexical level -------------------------------------------------------------------
    [[noreturn]] void Fail(const std::string& why, int line = -1) const {
        if (line < 0) line = pos_ < tokens_.size() ? tokens_[pos_].line : line_;
        throw std::runtime_error(file_ + ":" + std::to_string(line) + ": " + why);
    }

    void Tokenize(const std::string& fileName, const std::string& text) {
        file_ = fileName;
        line_ = 1;
        size_t i = 0;
        bool lineStart = true;
        while (i < text.size()) {
            char c = text[i];
            if (c == '\n') {
                ++line_;
                ++i;
                lineStart = true;
                continue;
            }
            if (c == ' ' || c == '\t' || c == '\r') {
                ++i;
                continue;
            }
            if (c == '/' && i + 1 < text.size() && text[i + 1] == '/') {
                while (i < text.size() && text[i] != '\n') ++i;
                continue;
            }
            if (c == '/' && i + 1 < text.size() && text[i + 1] == '*') {
                size_t end = text.find("*/", i + 2);
                if (end == std::string::npos) Fail("unterminated comment", line_);
                for (size_t k = i; k < end; ++k)
                    if (text[k] == '\n') ++line_;
                i = end + 2;
                continue;
            }
            if (c == '#' && lineStart) {
                size_t end = text.find('\n', i);
                if (end == std::string::npos) end = text.size();
                Directive(text.substr(i + 1, end - i - 1));
                i = end;
                continue;
            }
            lineStart = false;
            Token t;
            t.line = line_;
            if (std::isalpha(static_cast<unsigned char>(c)) || c == '_') {
                size_t s = i;
                while (i < text.size() &&
                       (std::isalnum(static_cast<unsigned char>(text[i])) || text[i] == '_'))
                    ++i;
                t.kind = Token::Ident;
                t.text = text.substr(s, i - s);
            } else if (std::isdigit(static_cast<unsigned char>(c))) {
                size_t s = i;
                while (i < text.size() && std::isalnum(static_cast<unsigned char>(text[i]))) ++i;
                std::string num = text.substr(s, i - s);
                if (!num.empty() && (num.back() == 'L' || num.back() == 'l')) num.pop_back();
                size_t used = 0;
                try {
                    t.value = std::stoll(num, &used, 0);
                } catch (const std::exception&) {
                    used = 0;
                }
                if (used != num.size() || num.empty()) Fail("bad number " + num, line_);
                t.kind = Token::Number;
            } else if (c == '"') {
                t.kind = Token::String;
                t.text = StringLiteral(text, i);
            } else if (std::string(",|()-+~&{}").find(c) != std::string::npos) {
                t.kind = Token::Punct;
                t.text = std::string(1, c);
                ++i;
            } else {
                Fail(std::string("unexpected character '") + c + "'", line_);
            }
            tokens_.push_back(std::move(t));
        }
    }

    // A quoted text with the escapes windres decodes: "" \" \\ \n \r \t.
    std::string StringLiteral(const std::string& text, size_t& i) {
        std::string out;
        ++i;  // opening quote
        while (true) {
            if (i >= text.size() || text[i] == '\n') Fail("unterminated string", line_);
            char c = text[i++];
            if (c == '"') {
                if (i < text.size() && text[i] == '"') {
                    out += '"';
                    ++i;
                    continue;
                }
                return out;
            }
            if (c == '\\') {
                if (i >= text.size()) Fail("unterminated string", line_);
                char e = text[i++];
                switch (e) {
                    case 'n':
                        out += '\n';
                        break;
                    case 'r':
                        out += '\r';
                        break;
                    case 't':
                        out += '\t';
                        break;
                    case '\\':
                        out += '\\';
                        break;
                    case '"':
                        out += '"';
                        break;
                    default:
                        Fail(std::string("unsupported escape \\") + e, line_);
                }
                continue;
            }
            out += c;
        }
    }

    // #pragma, #include and #define lines; anything else is refused.
    void Directive(const std::string& body) {
        std::string s = body;
        auto trim = [](std::string& t) {
            size_t a = t.find_first_not_of(" \t\r");
            size_t b = t.find_last_not_of(" \t\r");
            t = a == std::string::npos ? std::string() : t.substr(a, b - a + 1);
        };
        // Drop a trailing line comment.
        size_t cm = s.find("//");
        if (cm != std::string::npos) s.erase(cm);
        trim(s);
        size_t sp = s.find_first_of(" \t");
        std::string word = s.substr(0, sp);
        std::string rest = sp == std::string::npos ? std::string() : s.substr(sp);
        trim(rest);
        if (word == "pragma") {
            if (rest != "once" && rest != "code_page(65001)")
                Fail("unsupported #pragma " + rest, line_);
        } else if (word == "include") {
            if (rest.size() >= 2 && rest.front() == '<' && rest.back() == '>') return;
            if (rest.size() < 2 || rest.front() != '"' || rest.back() != '"')
                Fail("bad #include", line_);
            std::string name = rest.substr(1, rest.size() - 2);
            auto it = files_.find(name);
            if (it == files_.end()) Fail("cannot find included file " + name, line_);
            if (++depth_ > 8) Fail("#include nested too deeply", line_);
            // An included file may hold only directives and comments.
            Parser inner(files_);
            inner.defines_ = defines_;
            inner.depth_ = depth_;
            inner.Tokenize(name, it->second);
            if (!inner.tokens_.empty()) inner.Fail("an included file may hold only directives");
            defines_ = std::move(inner.defines_);
            --depth_;
        } else if (word == "define") {
            size_t e = rest.find_first_of(" \t");
            std::string name = rest.substr(0, e);
            std::string value = e == std::string::npos ? std::string() : rest.substr(e);
            trim(value);
            if (name.empty() || name.find('(') != std::string::npos)
                Fail("unsupported #define " + rest, line_);
            defines_[name] = value;
        } else {
            Fail("unsupported directive #" + word, line_);
        }
    }

    const Token& Peek() const { return tokens_[pos_]; }
    const Token& Next() {
        const Token& t = tokens_[pos_];
        if (t.kind != Token::End) ++pos_;
        return t;
    }
    bool IsWord(const char* w) const { return Peek().kind == Token::Ident && Peek().text == w; }
    bool IsPunct(const char* p) const { return Peek().kind == Token::Punct && Peek().text == p; }
    void Expect(const char* p) {
        if (!IsPunct(p)) Fail(std::string("expected '") + p + "'");
        Next();
    }
    void Begin() {
        if (IsWord("BEGIN") || IsPunct("{")) {
            Next();
            return;
        }
        Fail("expected BEGIN");
    }
    bool AtEnd() const { return IsWord("END") || IsPunct("}"); }
    std::string Text() {
        if (Peek().kind != Token::String) Fail("expected a quoted text");
        return Next().text;
    }

    // ---- expressions -----------------------------------------------------------------------
    int64_t Name(const std::string& name, int line) {
        auto d = defines_.find(name);
        if (d != defines_.end()) {
            if (++nameDepth_ > 16) Fail("#define loop at " + name, line);
            Parser sub(files_);
            sub.defines_ = defines_;
            sub.nameDepth_ = nameDepth_;
            sub.file_ = file_;
            sub.Tokenize(file_, d->second);
            sub.tokens_.push_back(Token{Token::End, "", 0, line});
            for (auto& t : sub.tokens_) t.line = line;
            int64_t v = sub.Expr();
            if (sub.Peek().kind != Token::End) Fail("bad value of " + name, line);
            --nameDepth_;
            return v;
        }
        auto k = KnownNames().find(name);
        if (k == KnownNames().end()) Fail("unknown name " + name, line);
        return k->second;
    }

    int64_t Primary() {
        const Token& t = Next();
        if (t.kind == Token::Number) return t.value;
        if (t.kind == Token::Ident) {
            if (t.text == "NOT") Fail("NOT outside a style", t.line);
            return Name(t.text, t.line);
        }
        if (t.kind == Token::Punct && t.text == "-") return -Primary();
        if (t.kind == Token::Punct && t.text == "~") return ~Primary();
        if (t.kind == Token::Punct && t.text == "(") {
            int64_t v = Expr();
            Expect(")");
            return v;
        }
        Fail("expected a number", t.line);
    }

    int64_t Expr() {
        int64_t v = Primary();
        while (IsPunct("|") || IsPunct("+") || IsPunct("-") || IsPunct("&")) {
            char op = Next().text[0];
            int64_t r = Primary();
            v = op == '|' ? (v | r) : op == '+' ? v + r : op == '-' ? v - r : (v & r);
        }
        return v;
    }

    // A style list "A | NOT B | C" applied to a starting value, as windres does.
    uint32_t Style(uint32_t base) {
        uint32_t v = base;
        while (true) {
            bool neg = false;
            if (IsWord("NOT")) {
                Next();
                neg = true;
            }
            uint32_t x = static_cast<uint32_t>(Primary());
            v = neg ? (v & ~x) : (v | x);
            if (!IsPunct("|")) return v;
            Next();
        }
    }

    bool Comma() {
        if (!IsPunct(",")) return false;
        Next();
        return true;
    }
    int Int() { return static_cast<int>(Expr()); }

    // ---- resources -------------------------------------------------------------------------
    void StringTable() {
        Begin();
        while (!AtEnd()) {
            const int line = Peek().line;
            int64_t id = Expr();
            Comma();
            std::string text = Text();
            if (id < 0 || id > 0xFFFF) Fail("string id out of range", line);
            if (!catalog_.strings.emplace(static_cast<uint32_t>(id), text).second)
                Fail("string " + std::to_string(id) + " defined twice", line);
        }
        Next();
    }

    DialogTemplate Dialog(int id) {
        DialogTemplate d;
        d.id = id;
        d.x = Int();
        Expect(",");
        d.y = Int();
        Expect(",");
        d.cx = Int();
        Expect(",");
        d.cy = Int();
        if (Comma()) Int();  // help id
        // windres starts a dialog from this style; STYLE replaces it, CAPTION adds the caption
        // bits.
        d.style = WS_POPUP | WS_BORDER | WS_SYSMENU;
        bool hasStyle = false, hasCaption = false;
        while (!IsWord("BEGIN") && !IsPunct("{")) {
            if (IsWord("STYLE")) {
                Next();
                d.style = Style(0);
                hasStyle = true;
            } else if (IsWord("EXSTYLE")) {
                Next();
                d.exStyle = Style(0);
            } else if (IsWord("CAPTION")) {
                Next();
                d.caption = Text();
                hasCaption = true;
            } else if (IsWord("FONT")) {
                Next();
                d.fontSize = Int();
                Expect(",");
                d.fontName = Text();
                while (Comma()) Int();  // weight, italic, character set
                d.style |= DS_SETFONT;
            } else {
                Fail("unsupported dialog statement " + Peek().text);
            }
        }
        if (hasCaption && !hasStyle) d.style |= WS_CAPTION;
        Begin();
        while (!AtEnd()) d.controls.push_back(Control());
        Next();
        if (d.fontName.empty()) Fail("dialog " + std::to_string(id) + " has no FONT");
        return d;
    }

    // One control statement. `base` is what windres starts from when a style is written, `dflt`
    // what it uses when none is; WS_CHILD | WS_VISIBLE are always added.
    ControlTemplate Control() {
        const Token kw = Next();
        if (kw.kind != Token::Ident) Fail("expected a control statement", kw.line);
        ControlTemplate c;
        const uint32_t child = WS_CHILD | WS_VISIBLE;
        auto tail = [&](uint32_t base, uint32_t dflt) {
            c.x = Int();
            Expect(",");
            c.y = Int();
            Expect(",");
            c.cx = Int();
            Expect(",");
            c.cy = Int();
            c.style = dflt | child;
            if (Comma()) {
                c.style = Style(base | child);
                if (Comma()) c.exStyle = static_cast<uint32_t>(Expr());
            }
        };
        if (kw.text == "CONTROL") {
            if (Peek().kind == Token::String)
                c.text = Text();
            else
                c.text = "#" + std::to_string(Expr());
            Expect(",");
            c.id = Int();
            Expect(",");
            c.className = CanonicalClass(Text());
            Expect(",");
            c.style = Style(child);
            Expect(",");
            c.x = Int();
            Expect(",");
            c.y = Int();
            Expect(",");
            c.cx = Int();
            Expect(",");
            c.cy = Int();
            if (Comma()) c.exStyle = static_cast<uint32_t>(Expr());
        } else if (kw.text == "ICON") {
            // windres keeps the icon's own size: width and height are read and dropped.
            c.className = "Static";
            if (Peek().kind == Token::String)
                c.text = Text();
            else
                c.text = "#" + std::to_string(Expr());
            Expect(",");
            c.id = Int();
            Expect(",");
            c.x = Int();
            Expect(",");
            c.y = Int();
            c.style = SS_ICON | child;
            if (Comma()) {
                Int();
                Expect(",");
                Int();
                if (Comma()) {
                    c.style = Style(SS_ICON | child);
                    if (Comma()) c.exStyle = static_cast<uint32_t>(Expr());
                }
            }
        } else if (kw.text == "COMBOBOX") {
            c.className = "ComboBox";
            c.id = Int();
            Expect(",");
            tail(0, CBS_SIMPLE | WS_TABSTOP);
        } else {
            struct Kind {
                const char* word;
                const char* cls;
                uint32_t base, dflt;
            };
            static const Kind kinds[] = {
                {"PUSHBUTTON", "Button", BS_PUSHBUTTON | WS_TABSTOP, BS_PUSHBUTTON | WS_TABSTOP},
                {"DEFPUSHBUTTON", "Button", BS_DEFPUSHBUTTON | WS_TABSTOP,
                 BS_DEFPUSHBUTTON | WS_TABSTOP},
                {"LTEXT", "Static", SS_LEFT, SS_LEFT | WS_GROUP},
                {"CTEXT", "Static", SS_CENTER, SS_CENTER | WS_GROUP},
                {"RTEXT", "Static", SS_RIGHT, SS_RIGHT | WS_GROUP},
            };
            const Kind* k = nullptr;
            for (const Kind& x : kinds)
                if (kw.text == x.word) k = &x;
            if (!k) Fail("unsupported control statement " + kw.text, kw.line);
            c.className = k->cls;
            c.text = Text();
            Expect(",");
            c.id = Int();
            Expect(",");
            tail(k->base, k->dflt);
        }
        return c;
    }

    const std::map<std::string, std::string>& files_;
    std::map<std::string, std::string> defines_;
    std::vector<Token> tokens_;
    size_t pos_ = 0;
    std::string file_;
    int line_ = 1;
    int depth_ = 0;
    int nameDepth_ = 0;
    Catalog catalog_;
};

Catalog Load(Lang lang) {
    const auto& files = detail::EmbeddedScripts();
    const char* name = lang == Lang::English ? "en.rc" : "ja.rc";
    auto it = files.find(name);
    if (it == files.end())
        throw std::runtime_error(std::string("resource script missing: ") + name);
    return ParseResourceScript(name, it->second, files, lang);
}

}  // namespace

Catalog ParseResourceScript(const std::string& fileName, const std::string& text,
                            const std::map<std::string, std::string>& files, Lang lang) {
    return Parser(files).Parse(fileName, text, lang);
}

const Catalog& GetCatalog(Lang lang) {
    if (lang == Lang::English) {
        static const Catalog english = Load(Lang::English);
        return english;
    }
    static const Catalog japanese = Load(Lang::Japanese);
    return japanese;
}

}  // namespace res
