// The build's resource compiler: reads the DIALOGEX templates of a Win32 resource script and
// writes them as the dialog manager's tables (a C++ source). It knows the statements and style
// names our script uses, applies the default styles of each statement as the platform's resource
// compiler does, and stops with "file:line: message" on anything else.
//
// usage: zedadu_rc2cpp SCRIPT.rc OUTPUT.cpp
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "platform/ui/window_styles.h"

namespace {

struct Token {
    enum Kind { Word, Number, Text, Punct, End } kind;
    std::string text;
    long value;
    int line;
};

const std::map<std::string, long>& Constants() {
    static const std::map<std::string, long> constants = {{"WS_POPUP", WS_POPUP},
                                                          {"WS_CHILD", WS_CHILD},
                                                          {"WS_VISIBLE", WS_VISIBLE},
                                                          {"WS_DISABLED", WS_DISABLED},
                                                          {"WS_CAPTION", WS_CAPTION},
                                                          {"WS_BORDER", WS_BORDER},
                                                          {"WS_VSCROLL", WS_VSCROLL},
                                                          {"WS_HSCROLL", WS_HSCROLL},
                                                          {"WS_SYSMENU", WS_SYSMENU},
                                                          {"WS_GROUP", WS_GROUP},
                                                          {"WS_TABSTOP", WS_TABSTOP},
                                                          {"DS_SYSMODAL", DS_SYSMODAL},
                                                          {"DS_MODALFRAME", DS_MODALFRAME},
                                                          {"DS_SETFOREGROUND", DS_SETFOREGROUND},
                                                          {"DS_SETFONT", DS_SETFONT},
                                                          {"BS_PUSHBUTTON", BS_PUSHBUTTON},
                                                          {"BS_DEFPUSHBUTTON", BS_DEFPUSHBUTTON},
                                                          {"BS_CHECKBOX", BS_CHECKBOX},
                                                          {"BS_AUTOCHECKBOX", BS_AUTOCHECKBOX},
                                                          {"BS_GROUPBOX", BS_GROUPBOX},
                                                          {"BS_MULTILINE", BS_MULTILINE},
                                                          {"SS_LEFT", SS_LEFT},
                                                          {"SS_CENTER", SS_CENTER},
                                                          {"SS_RIGHT", SS_RIGHT},
                                                          {"ES_LEFT", ES_LEFT},
                                                          {"ES_NUMBER", ES_NUMBER},
                                                          {"ES_AUTOHSCROLL", ES_AUTOHSCROLL},
                                                          {"CBS_SIMPLE", CBS_SIMPLE},
                                                          {"CBS_DROPDOWN", CBS_DROPDOWN},
                                                          {"CBS_DROPDOWNLIST", CBS_DROPDOWNLIST},
                                                          {"CBS_AUTOHSCROLL", CBS_AUTOHSCROLL},
                                                          {"CBS_SORT", CBS_SORT},
                                                          {"SBS_HORZ", SBS_HORZ},
                                                          {"SBS_VERT", SBS_VERT},
                                                          {"UDS_SETBUDDYINT", UDS_SETBUDDYINT},
                                                          {"UDS_ALIGNRIGHT", UDS_ALIGNRIGHT},
                                                          {"UDS_AUTOBUDDY", UDS_AUTOBUDDY},
                                                          {"UDS_ARROWKEYS", UDS_ARROWKEYS},
                                                          {"UDS_NOTHOUSANDS", UDS_NOTHOUSANDS},
                                                          {"IDOK", IDOK},
                                                          {"IDCANCEL", IDCANCEL},
                                                          {"IDC_STATIC", -1},
                                                          {"LANG_ENGLISH", 0x09},
                                                          {"SUBLANG_ENGLISH_US", 0x01}};
    return constants;
}

// A control statement: its class, default style, and whether it starts with a caption.
struct Statement {
    const char* className;
    DWORD style;
    bool captioned;
};

const std::map<std::string, Statement>& Statements() {
    static const std::map<std::string, Statement> statements = {
        {"LTEXT", {WC_STATIC, SS_LEFT | WS_GROUP, true}},
        {"RTEXT", {WC_STATIC, SS_RIGHT | WS_GROUP, true}},
        {"CTEXT", {WC_STATIC, SS_CENTER | WS_GROUP, true}},
        {"GROUPBOX", {WC_BUTTON, BS_GROUPBOX, true}},
        {"PUSHBUTTON", {WC_BUTTON, BS_PUSHBUTTON | WS_TABSTOP, true}},
        {"DEFPUSHBUTTON", {WC_BUTTON, BS_DEFPUSHBUTTON | WS_TABSTOP, true}},
        {"AUTOCHECKBOX", {WC_BUTTON, BS_AUTOCHECKBOX | WS_TABSTOP, true}},
        {"EDITTEXT", {WC_EDIT, ES_LEFT | WS_BORDER | WS_TABSTOP, false}},
        {"COMBOBOX", {WC_COMBOBOX, WS_TABSTOP, false}},
        {"SCROLLBAR", {WC_SCROLLBAR, SBS_HORZ, false}}};
    return statements;
}

[[noreturn]] void Fail(const std::string& file, int line, const std::string& message) {
    fprintf(stderr, "%s:%d: %s\n", file.c_str(), line, message.c_str());
    exit(1);
}

class Lexer {
  public:
    Lexer(std::string file, std::string source)
        : file_(std::move(file)), source_(std::move(source)) {}

    const std::string& file() const { return file_; }

    Token next() {
        skipBlanksAndComments();
        if (at_ >= source_.size()) {
            return {Token::End, "", 0, line_};
        }
        const char c = source_[at_];
        if (c == '"') {
            return text();
        }
        if (isdigit(static_cast<unsigned char>(c)) || c == '-') {
            return number();
        }
        if (isalpha(static_cast<unsigned char>(c)) || c == '_') {
            const size_t begin = at_;
            while (at_ < source_.size() &&
                   (isalnum(static_cast<unsigned char>(source_[at_])) || source_[at_] == '_')) {
                ++at_;
            }
            return {Token::Word, source_.substr(begin, at_ - begin), 0, line_};
        }
        ++at_;
        return {Token::Punct, std::string(1, c), 0, line_};
    }

  private:
    // Preprocessor lines (the headers a Windows build includes) carry nothing for the tables.
    void skipBlanksAndComments() {
        while (at_ < source_.size()) {
            const char c = source_[at_];
            const bool lineStart = at_ == 0 || source_[at_ - 1] == '\n';
            if (c == '\n') {
                ++line_;
                ++at_;
            } else if (isspace(static_cast<unsigned char>(c))) {
                ++at_;
            } else if (source_.compare(at_, 2, "//") == 0 || (lineStart && c == '#')) {
                at_ = source_.find('\n', at_);
                at_ = at_ == std::string::npos ? source_.size() : at_;
            } else if (source_.compare(at_, 2, "/*") == 0) {
                const size_t end = source_.find("*/", at_ + 2);
                if (end == std::string::npos) {
                    Fail(file_, line_, "unterminated comment");
                }
                for (; at_ < end; ++at_) {
                    line_ += source_[at_] == '\n' ? 1 : 0;
                }
                at_ = end + 2;
            } else {
                return;
            }
        }
    }

    // A doubled quote stands for one quote; \n, \t and \\ as in C.
    Token text() {
        std::string value;
        for (++at_; at_ < source_.size(); ++at_) {
            const char c = source_[at_];
            if (c == '"' && source_.compare(at_, 2, "\"\"") == 0) {
                value += '"';
                ++at_;
            } else if (c == '"') {
                ++at_;
                return {Token::Text, value, 0, line_};
            } else if (c == '\\' && at_ + 1 < source_.size()) {
                const char escaped = source_[++at_];
                value += escaped == 'n' ? '\n' : escaped == 't' ? '\t' : escaped;
            } else if (c == '\n') {
                break;
            } else {
                value += c;
            }
        }
        Fail(file_, line_, "unterminated string");
    }

    Token number() {
        const char* begin = source_.c_str() + at_;
        char* end = nullptr;
        const long value = strtol(begin, &end, 0);
        if (end == begin) {
            Fail(file_, line_, "a lone minus sign");
        }
        at_ += static_cast<size_t>(end - begin);
        return {Token::Number, std::string(begin, static_cast<size_t>(end - begin)), value, line_};
    }

    std::string file_;
    std::string source_;
    size_t at_ = 0;
    int line_ = 1;
};

struct Item {
    std::string className;
    long id;
    std::string caption;
    DWORD style;
    long x, y, cx, cy;
};

struct Template {
    std::string name;
    long language;
    DWORD style = 0;
    std::string caption;
    std::string fontName;
    long pointSize = 0;
    long x, y, cx, cy;
    std::vector<Item> items;
};

class Parser {
  public:
    explicit Parser(Lexer& lexer) : lexer_(lexer) { advance(); }

    std::vector<Template> script() {
        std::vector<Template> templates;
        while (token_.kind != Token::End) {
            if (accept("LANGUAGE")) {
                const long primary = value();
                expect(",");
                language_ = value() << 10 | primary;
                continue;
            }
            templates.push_back(dialog());
        }
        return templates;
    }

  private:
    void advance() { token_ = lexer_.next(); }
    [[noreturn]] void fail(const std::string& message) {
        Fail(lexer_.file(), token_.line, message + " (at \"" + token_.text + "\")");
    }
    bool accept(const char* text) {
        if ((token_.kind == Token::Word || token_.kind == Token::Punct) && token_.text == text) {
            advance();
            return true;
        }
        return false;
    }
    void expect(const char* text) {
        if (!accept(text)) {
            fail(std::string("expected \"") + text + "\"");
        }
    }
    std::string word() {
        if (token_.kind != Token::Word) {
            fail("expected a name");
        }
        std::string name = token_.text;
        advance();
        return name;
    }
    std::string text() {
        if (token_.kind != Token::Text) {
            fail("expected a quoted text");
        }
        std::string value = token_.text;
        advance();
        return value;
    }
    long value() {
        long result = 0;
        if (token_.kind == Token::Number) {
            result = token_.value;
        } else if (token_.kind == Token::Word && Constants().contains(token_.text)) {
            result = Constants().at(token_.text);
        } else {
            fail("expected a number or a known constant");
        }
        advance();
        return result;
    }
    // A | B | NOT C: the bits named, without those named after NOT.
    DWORD style(DWORD defaults) {
        DWORD added = defaults;
        DWORD removed = 0;
        do {
            const bool negated = accept("NOT");
            (negated ? removed : added) |= static_cast<DWORD>(value());
        } while (accept("|"));
        return added & ~removed;
    }
    void rectangle(Item& item) {
        item.x = value();
        expect(",");
        item.y = value();
        expect(",");
        item.cx = value();
        expect(",");
        item.cy = value();
    }

    Template dialog();
    void dialogOptions(Template& result);
    Item control();

    Lexer& lexer_;
    Token token_{};
    long language_ = 0;
};

Template Parser::dialog() {
    Template result;
    result.name = word();
    result.language = language_;
    expect("DIALOGEX");
    result.x = value();
    expect(",");
    result.y = value();
    expect(",");
    result.cx = value();
    expect(",");
    result.cy = value();
    dialogOptions(result);
    expect("BEGIN");
    while (!accept("END")) {
        result.items.push_back(control());
    }
    return result;
}

void Parser::dialogOptions(Template& result) {
    while (true) {
        if (accept("STYLE")) {
            result.style |= style(0);
        } else if (accept("CAPTION")) {
            result.caption = text();
        } else if (accept("FONT")) {
            result.pointSize = value();
            expect(",");
            result.fontName = text();
            result.style |= DS_SETFONT;
            while (accept(",")) {
                value();  // weight, italic and character set mean nothing here
            }
        } else {
            return;
        }
    }
}

Item Parser::control() {
    const std::string keyword = word();
    const bool generic = keyword == "CONTROL";
    if (!generic && !Statements().contains(keyword)) {
        fail("unknown control statement " + keyword);
    }
    const Statement statement = generic ? Statement{"", 0, true} : Statements().at(keyword);
    Item item{statement.className, 0, "", WS_CHILD | WS_VISIBLE | statement.style, 0, 0, 0, 0};
    if (statement.captioned) {
        item.caption = text();
        expect(",");
    }
    item.id = value();
    expect(",");
    if (generic) {
        item.className = text();
        expect(",");
        item.style = style(item.style);
        expect(",");
    }
    rectangle(item);
    if (!generic && accept(",")) {
        item.style = style(item.style);
    }
    // A combo box is a simple one unless its style names another type.
    if (keyword == "COMBOBOX" && (item.style & CBS_TYPEMASK) == 0) {
        item.style |= CBS_SIMPLE;
    }
    return item;
}

std::string Quoted(const std::string& text) {
    std::string quoted = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            quoted += '\\';
            quoted += c;
        } else if (c == '\n') {
            quoted += "\\n";
        } else {
            quoted += c;
        }
    }
    return quoted + "\"";
}

void WriteTables(std::ostream& out, const std::vector<Template>& templates,
                 const std::string& script) {
    out << "// Generated by zedadu_rc2cpp from " << script << "; edit the script, not this file.\n"
        << "#include \"resources/dialog_resources.h\"\n\nnamespace zedadu::resources {\n"
        << "namespace {\n\n";
    for (size_t t = 0; t < templates.size(); ++t) {
        out << "// " << templates[t].name << "\nconstexpr DialogItemTemplate kItems" << t
            << "[] = {\n";
        for (const Item& item : templates[t].items) {
            out << "    {" << Quoted(item.className) << ", " << item.id << ", "
                << Quoted(item.caption) << ", 0x" << std::hex << item.style << std::dec << ", "
                << item.x << ", " << item.y << ", " << item.cx << ", " << item.cy << "},\n";
        }
        out << "};\n\n";
    }
    out << "constexpr DialogTemplate kTemplates[] = {\n";
    for (size_t t = 0; t < templates.size(); ++t) {
        const Template& d = templates[t];
        out << "    {" << Quoted(d.name) << ", " << d.language << ", 0x" << std::hex << d.style
            << std::dec << ", " << Quoted(d.caption) << ", " << Quoted(d.fontName) << ", "
            << d.pointSize << ", " << d.x << ", " << d.y << ", " << d.cx << ", " << d.cy
            << ", kItems" << t << ", std::size(kItems" << t << ")},\n";
    }
    out << "};\n\n}  // namespace\n\n"
        << "std::span<const DialogTemplate> DialogTemplates() { return kTemplates; }\n\n"
        << "}  // namespace zedadu::resources\n";
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        fprintf(stderr, "usage: zedadu_rc2cpp SCRIPT.rc OUTPUT.cpp\n");
        return 2;
    }
    std::ifstream input(argv[1], std::ios::binary);
    if (!input) {
        fprintf(stderr, "zedadu_rc2cpp: cannot read %s\n", argv[1]);
        return 1;
    }
    std::stringstream source;
    source << input.rdbuf();
    Lexer lexer(argv[1], source.str());
    const std::vector<Template> templates = Parser(lexer).script();
    std::string script = argv[1];
    script = script.substr(script.find_last_of('/') + 1);
    std::ostringstream tables;
    WriteTables(tables, templates, script);
    std::ofstream output(argv[2], std::ios::binary);
    output << tables.str();
    return output ? 0 : 1;
}
