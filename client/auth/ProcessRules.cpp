// Evaluation of the process rule with an operator-precedence parser: "&&" binds tighter than "||",
// parentheses group, and every operand is looked up in a fresh process snapshot when it is combined.
#include "auth/ProcessRules.h"

#include <string>
#include <vector>

#include "core/ProcessChecks.h"

namespace velora {
namespace {

constexpr std::u16string_view kForbidden = u"?/\\<>:*\"";
constexpr std::u16string_view kOperators = u"&|()?";

bool IsBlank(char16_t c) {
    return c == u' ' || (c >= u'\t' && c <= u'\r');
}

std::u16string_view TrimEnd(std::u16string_view s) {
    while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
    return s;
}

void ReplaceAll(std::u16string& text, std::u16string_view what, std::u16string_view with) {
    for (std::size_t p = text.find(what); p != std::u16string::npos; p = text.find(what, p + with.size())) {
        text.replace(p, what.size(), with);
    }
}

// Relation of the operator on top of the stack to the incoming one: '<' push, '>' reduce, '=' pop.
char Relation(char16_t top, char16_t incoming) {
    static constexpr std::u16string_view kColumns = u"&|()?";
    static constexpr const char* kRows[] = {">><>>", "<><>>", "<<<=>", "<<<>="};
    int row = -1;
    switch (top) {
        case u'&': row = 0; break;
        case u'|': row = 1; break;
        case u'(': row = 2; break;
        case u'?': row = 3; break;
        default: return 0;
    }
    const std::size_t column = kColumns.find(incoming);
    return column == std::u16string_view::npos ? 0 : kRows[row][column];
}

class CTokenizer {
public:
    explicit CTokenizer(std::u16string_view text) : rest_(text) {}
    bool Done() const { return rest_.empty(); }
    // The next token; `beforeParen` tells whether an operand token is followed directly by "(".
    std::u16string_view Next(bool& beforeParen) {
        rest_ = TrimEnd(rest_);
        const std::size_t p = rest_.find_first_of(kOperators);
        std::u16string_view token;
        if (p == std::u16string_view::npos) {
            token = rest_;
        } else if (p == 0) {
            token = rest_.substr(0, 1);
        } else {
            token = rest_.substr(0, p);
        }
        beforeParen = p != std::u16string_view::npos && p > 0 && rest_[p] == u'(';
        rest_.remove_prefix(token.size());
        return token;
    }

private:
    std::u16string_view rest_;
};

bool IsOperatorToken(std::u16string_view token) {
    return token.size() == 1 && kOperators.find(token[0]) != std::u16string_view::npos;
}

}  // namespace

ProcessRuleResult checkProcesses(std::u16string_view expression) {
    const ProcessRuleResult malformed{false, true};
    if (expression.find_first_of(kForbidden) != std::u16string_view::npos) return malformed;
    std::u16string probe(expression);
    ReplaceAll(probe, u"&&", u"aa");
    ReplaceAll(probe, u"||", u"oo");
    if (probe.find_first_of(u"&|") != std::u16string::npos) return malformed;
    if (expression.find(u"&&") == std::u16string_view::npos && expression.find(u"||") == std::u16string_view::npos) {
        return {IsAnyProcessRunning(TrimEnd(expression)), false};
    }

    std::u16string text(expression);
    ReplaceAll(text, u"&&", u"&");
    ReplaceAll(text, u"||", u"|");
    text += u'?';
    std::vector<char16_t> operators{u'?'};
    std::vector<std::u16string> operands;
    CTokenizer tokens(text);
    bool beforeParen = false;
    std::u16string_view previous;
    std::u16string_view token = tokens.Next(beforeParen);
    for (;;) {
        if (tokens.Done() && (operators.empty() || operators.back() == u'?')) {
            return {!operands.empty() && operands.back() == u"1", false};
        }
        if (!IsOperatorToken(token)) {
            const std::u16string_view operand = TrimEnd(token);
            // A run of blanks between an operator and "(" or between ")" and an operator is layout, not
            // an operand: kept, it would name no process and make "x && (y || z)" unsatisfiable while
            // "x&&(y||z)" works.
            const bool layout = operand.empty() && (beforeParen || previous == u")");
            if (!layout) operands.emplace_back(operand);
            previous = token;
            token = tokens.Next(beforeParen);
            continue;
        }
        if (operators.empty()) return malformed;
        switch (Relation(operators.back(), token[0])) {
            case '<':
                operators.push_back(token[0]);
                previous = token;
                token = tokens.Next(beforeParen);
                break;
            case '=':
                operators.pop_back();
                previous = token;
                token = tokens.Next(beforeParen);
                break;
            case '>': {
                if (operands.size() < 2) return malformed;
                const std::u16string right = std::move(operands.back());
                operands.pop_back();
                const std::u16string left = std::move(operands.back());
                operands.pop_back();
                const char16_t op = operators.back();
                operators.pop_back();
                operands.emplace_back(EvaluateProcessPair(right, left, op) ? u"1" : u"0");
                break;
            }
            default:
                return malformed;
        }
    }
}

}  // namespace velora
