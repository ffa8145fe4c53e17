// The scripted front-end: a list of user actions and expectations, for unattended hosts and tests
// (the script language is described in platform/hostlib/host_api.h).
#include <iterator>
#include <optional>

#include "platform/hostlib/host_api.h"
#include "platform/ui/dialog_manager.h"

namespace zedadu::ui {
namespace {

constexpr char kBlanks[] = " \t\r";

bool IsQuote(char c) {
    return c == '"' || c == '\'';
}

// Statements end at a newline or at a semicolon outside quotes.
std::vector<std::string> SplitStatements(const std::string& script) {
    std::vector<std::string> statements(1);
    char quote = 0;
    for (const char c : script) {
        if (quote) {
            quote = c == quote ? 0 : quote;
        } else if (IsQuote(c)) {
            quote = c;
        } else if (c == '\n' || c == ';') {
            statements.emplace_back();
            continue;
        }
        statements.back() += c;
    }
    return statements;
}

struct Word {
    std::string text;
    bool quoted;
};

// Words separated by blanks; a quoted word keeps its blanks and loses its quotes.
std::vector<Word> SplitWords(const std::string& statement) {
    std::vector<Word> words;
    size_t at = statement.find_first_not_of(kBlanks);
    while (at != std::string::npos) {
        const bool quoted = IsQuote(statement[at]);
        const size_t end =
            quoted ? statement.find(statement[at], at + 1) : statement.find_first_of(kBlanks, at);
        const size_t begin = quoted ? at + 1 : at;
        words.push_back(
            {statement.substr(begin, end == std::string::npos ? end : end - begin), quoted});
        at = end == std::string::npos
                 ? end
                 : statement.find_first_not_of(kBlanks, end + (quoted ? 1 : 0));
    }
    return words;
}

// What follows the first two words, unquoted when it is one quoted text.
std::string TextAfterTwoWords(const std::string& statement) {
    size_t at = statement.find_first_not_of(kBlanks);
    for (int word = 0; word < 2 && at != std::string::npos; ++word) {
        at = statement.find_first_of(kBlanks, at);
        at = at == std::string::npos ? at : statement.find_first_not_of(kBlanks, at);
    }
    if (at == std::string::npos) {
        return "";
    }
    std::string text = statement.substr(at, statement.find_last_not_of(kBlanks) + 1 - at);
    if (text.size() >= 2 && IsQuote(text.front()) && text.back() == text.front()) {
        text = text.substr(1, text.size() - 2);
    }
    return text;
}

std::optional<int> Number(const Word& word) {
    int value = 0;
    int used = 0;
    if (word.quoted || sscanf(word.text.c_str(), "%d%n", &value, &used) != 1 ||
        used != static_cast<int>(word.text.size())) {
        return std::nullopt;
    }
    return value;
}

struct ScrollRequest {
    const char* name;
    int request;
};

constexpr ScrollRequest kScrollRequests[] = {
    {"line-left", SB_LINELEFT}, {"line-right", SB_LINERIGHT},
    {"page-left", SB_PAGELEFT}, {"page-right", SB_PAGERIGHT},
    {"left", SB_LEFT},          {"right", SB_RIGHT},
    {"thumb", SB_THUMBPOSITION}};

std::optional<int> ScrollRequestNamed(const std::string& name) {
    for (const ScrollRequest& known : kScrollRequests) {
        if (name == known.name) {
            return known.request;
        }
    }
    return std::nullopt;
}

// The entry of a list chosen by its position or by its text (a quoted word is always a text).
std::optional<int> EntryOf(Dialog& dialog, int id, const Word& word) {
    if (const auto position = Number(word)) {
        return position;
    }
    const Control* control = dialog.control(id);
    for (size_t i = 0; control && i < control->items.size(); ++i) {
        if (control->items[i] == word.text) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

struct Statement {
    std::string text;
    std::vector<Word> words;

    const std::string& verb() const { return words[0].text; }
    std::optional<int> number(size_t index) const {
        return index < words.size() ? Number(words[index]) : std::nullopt;
    }
    std::string word(size_t index) const {
        return index < words.size() ? words[index].text : std::string();
    }
};

std::optional<ZedaduDialogAction> PressAction(const Statement& statement) {
    const std::string key = statement.word(1);
    if (key == "enter" || key == "escape") {
        return ZedaduDialogAction{key == "enter" ? ZEDADU_ACTION_ENTER : ZEDADU_ACTION_ESCAPE, 0, 0,
                                  0, nullptr};
    }
    const auto id = statement.number(1);
    return id ? std::optional(ZedaduDialogAction{ZEDADU_ACTION_CLICK, *id, 0, 0, nullptr})
              : std::nullopt;
}

std::optional<ZedaduDialogAction> ControlAction(Dialog& dialog, const Statement& statement, int id,
                                                const std::string& typed) {
    const std::string& verb = statement.verb();
    if (verb == "click") {
        return ZedaduDialogAction{ZEDADU_ACTION_CLICK, id, 0, 0, nullptr};
    }
    if (verb == "type") {
        return ZedaduDialogAction{ZEDADU_ACTION_TYPE, id, 0, 0, typed.c_str()};
    }
    if (verb == "select" && statement.words.size() == 3) {
        const auto entry = EntryOf(dialog, id, statement.words[2]);
        return entry
                   ? std::optional(ZedaduDialogAction{ZEDADU_ACTION_SELECT, id, *entry, 0, nullptr})
                   : std::nullopt;
    }
    if (verb == "spin" && (statement.word(2) == "up" || statement.word(2) == "down")) {
        return ZedaduDialogAction{ZEDADU_ACTION_SPIN, id, statement.word(2) == "up" ? 1 : -1, 0,
                                  nullptr};
    }
    const auto request = verb == "scroll" ? ScrollRequestNamed(statement.word(2)) : std::nullopt;
    const auto thumb = statement.number(3);
    if (request && (*request != SB_THUMBPOSITION || thumb)) {
        return ZedaduDialogAction{ZEDADU_ACTION_SCROLL, id, *request, thumb.value_or(0), nullptr};
    }
    return std::nullopt;
}

// The state a control is expected to be in; empty when it is, else what was found.
using Expectation = std::optional<std::string> (*)(const Control&, const Statement&);

std::optional<std::string> Found(bool holds, const std::string& found) {
    return holds ? std::nullopt : std::optional(found);
}

struct NamedExpectation {
    const char* name;
    Expectation check;
};

const NamedExpectation kExpectations[] = {
    {"enabled", [](const Control& c, const Statement&) { return Found(c.enabled, "disabled"); }},
    {"disabled", [](const Control& c, const Statement&) { return Found(!c.enabled, "enabled"); }},
    {"visible", [](const Control& c, const Statement&) { return Found(c.visible, "hidden"); }},
    {"hidden", [](const Control& c, const Statement&) { return Found(!c.visible, "visible"); }},
    {"checked",
     [](const Control& c, const Statement&) { return Found(c.check == BST_CHECKED, "unchecked"); }},
    {"unchecked",
     [](const Control& c, const Statement&) { return Found(c.check != BST_CHECKED, "checked"); }},
    {"text",
     [](const Control& c, const Statement& s) {
         return Found(DisplayedText(c) == s.word(3), "text \"" + DisplayedText(c) + "\"");
     }},
    {"selection",
     [](const Control& c, const Statement& s) {
         return Found(s.number(3) == c.selection, "selection " + std::to_string(c.selection));
     }},
    {"count",
     [](const Control& c, const Statement& s) {
         const auto count = static_cast<int>(c.items.size());
         return Found(s.number(3) == count, "count " + std::to_string(count));
     }},
    {"item",
     [](const Control& c, const Statement& s) {
         const auto item = s.number(3).value_or(-1);
         const bool exists = item >= 0 && item < static_cast<int>(c.items.size());
         const std::string text = exists ? c.items[size_t(item)] : "(none)";
         return Found(exists && text == s.word(4), "item \"" + text + "\"");
     }},
    {"position",
     [](const Control& c, const Statement& s) {
         return Found(s.number(3) == c.position, "position " + std::to_string(c.position));
     }},
};

bool Expect(Dialog& dialog, const Statement& statement, std::string* reason) {
    const auto id = statement.number(1);
    const Control* control = id ? dialog.control(*id) : nullptr;
    if (!control) {
        *reason = "no such control";
        return false;
    }
    for (const NamedExpectation& expectation : kExpectations) {
        if (statement.word(2) == expectation.name) {
            const auto found = expectation.check(*control, statement);
            *reason = found.value_or("");
            return !found;
        }
    }
    *reason = "unknown expectation";
    return false;
}

class ScriptedFrontEnd final : public FrontEnd {
  public:
    explicit ScriptedFrontEnd(const std::string& script) {
        for (std::string& text : SplitStatements(script)) {
            auto words = SplitWords(text);
            if (!words.empty() && words[0].text[0] != '#') {
                statements_.push_back({std::move(text), std::move(words)});
            }
        }
    }

    // A script that runs out leaves the dialog as a person leaving it would: with Escape.
    bool run(Dialog& dialog) override {
        while (!dialog.ended && !failure_) {
            if (next_ == statements_.size()) {
                PerformAction(dialog, {ZEDADU_ACTION_ESCAPE, 0, 0, 0, nullptr}, nullptr);
                if (!dialog.ended) {
                    Fail("dialog script: the script ran out and Escape left the dialog open");
                }
                break;
            }
            const Statement& statement = statements_[next_++];
            std::string reason;
            if (!execute(dialog, statement, &reason)) {
                Fail("dialog script: \"" + statement.text +
                     "\": " + (reason.empty() ? "not understood" : reason));
            }
        }
        if (failure_ && !dialog.ended) {
            dialog.failure = *failure_;
            dialog.ended = true;
            dialog.result = -1;
        }
        return true;
    }

    void changed(Dialog&, int, uint32_t) override {}

  private:
    // Told to the host, which tells a failed script from a cancelled dialog by it.
    void Fail(std::string failure) {
        failure_ = std::move(failure);
        ZedaduHost_ReportDialogScriptFailure(failure_->c_str());
    }

    static bool execute(Dialog& dialog, const Statement& statement, std::string* reason) {
        if (statement.verb() == "expect") {
            return Expect(dialog, statement, reason);
        }
        const std::string typed = TextAfterTwoWords(statement.text);
        const auto id = statement.number(1);
        const auto action = statement.verb() == "press" ? PressAction(statement)
                            : id ? ControlAction(dialog, statement, *id, typed)
                                 : std::nullopt;
        return action && PerformAction(dialog, *action, reason);
    }

    std::vector<Statement> statements_;
    size_t next_ = 0;
    std::optional<std::string> failure_;  // ends every dialog the script is running
};

}  // namespace

std::unique_ptr<FrontEnd> MakeScriptedFrontEnd(std::string script) {
    return std::make_unique<ScriptedFrontEnd>(script);
}

}  // namespace zedadu::ui
