// TExpHandler: scanning into tokens, binding operators level by level into a tree, and
// evaluation against a record buffer. Types are checked when evaluated, as dBase does.
#include "engine/Expression.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

constexpr int MaxDepth = 400;      // deeper trees would only exhaust the stack
constexpr size_t MaxTokens = 20000;

[[noreturn]] void fail(const std::string& message) { throw EDbfExpression(message); }

std::string fill(const char* pattern, const std::string& s)
{
    std::string m = pattern;
    if (auto p = m.find("%s"); p != std::string::npos)
        m.replace(p, 2, s);
    return m;
}

char upperAscii(char c) { return (c >= 'a' && c <= 'z') ? char(c - 32) : c; }
std::string upperAscii(std::string s)
{
    for (char& c : s)
        c = upperAscii(c);
    return s;
}

bool isLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

std::string stripDots(const std::string& w)
{
    if (w.size() >= 3 && w.front() == '.' && w.back() == '.')
        return w.substr(1, w.size() - 2);
    return w;
}

const char* typeName(TExpType t)
{
    switch (t) {
    case TExpType::Character: return "character";
    case TExpType::Number: return "numeric";
    case TExpType::Date: return "date";
    case TExpType::Logical: return "logical";
    default: return "valid";
    }
}

bool numeric(TExpType t) { return t == TExpType::Number || t == TExpType::Date; }

std::string rtrim(std::string s)
{
    size_t e = s.find_last_not_of(' ');
    s.erase(e == std::string::npos ? 0 : e + 1);
    return s;
}

// A double as an integer within [lo, hi]; NaN counts as lo.
long long clampToInt(double x, long long lo, long long hi)
{
    if (!(x > double(lo)))
        return lo;
    if (x >= double(hi))
        return hi;
    return (long long)x;
}

double parseNumberLiteral(const std::string& w)
{
    // Decimal text; anything that does not parse as a whole is 0.
    size_t i = 0;
    bool neg = false;
    if (i < w.size() && (w[i] == '+' || w[i] == '-'))
        neg = w[i++] == '-';
    double v = 0;
    size_t digits = 0;
    while (i < w.size() && isDigit(w[i]))
        v = v * 10 + (w[i++] - '0'), ++digits;
    if (i < w.size() && w[i] == '.') {
        ++i;
        double scale = 0.1;
        while (i < w.size() && isDigit(w[i]))
            v += (w[i++] - '0') * scale, scale /= 10, ++digits;
    }
    if (i < w.size() && (w[i] == 'E' || w[i] == 'e') && digits) {
        size_t j = i + 1;
        bool eneg = false;
        if (j < w.size() && (w[j] == '+' || w[j] == '-'))
            eneg = w[j++] == '-';
        int e = 0;
        size_t ed = 0;
        while (j < w.size() && isDigit(w[j]) && e < 10000)
            e = e * 10 + (w[j++] - '0'), ++ed;
        if (ed) {
            v *= std::pow(10.0, eneg ? -e : e);
            i = j;
        }
    }
    if (i != w.size() || digits == 0)
        return 0;
    return neg ? -v : v;
}

// Date literal text inside braces: yyyymmdd, yyyy-mm-dd (optionally after "^"),
// mm/dd/yyyy or dd.mm.yyyy; an empty or unreadable text is the empty date (0).
double parseDateLiteral(std::string s)
{
    s.erase(0, s.find_first_not_of(' '));
    s = rtrim(s);
    if (!s.empty() && s[0] == '^')
        s.erase(0, 1);
    auto num = [&](size_t pos, size_t n, int& v) {
        if (pos + n > s.size())
            return false;
        v = 0;
        for (size_t i = pos; i < pos + n; ++i) {
            if (!isDigit(s[i]))
                return false;
            v = v * 10 + (s[i] - '0');
        }
        return true;
    };
    int y = 0, m = 0, d = 0;
    bool ok = false;
    if (s.size() == 8)
        ok = num(0, 4, y) && num(4, 2, m) && num(6, 2, d);
    else if (s.size() == 10 && s[4] == '-' && s[7] == '-')
        ok = num(0, 4, y) && num(5, 2, m) && num(8, 2, d);
    else if (s.size() == 10 && s[2] == '/' && s[5] == '/')
        ok = num(0, 2, m) && num(3, 2, d) && num(6, 4, y);
    else if (s.size() == 10 && s[2] == '.' && s[5] == '.')
        ok = num(0, 2, d) && num(3, 2, m) && num(6, 4, y);
    if (!ok || !DbfIsValidDate(y, m, d))
        return 0;
    return DbfDateToJulian(y, m, d);
}

int operatorLevel(const std::string& op)
{
    if (op == "**" || op == "^")
        return 2;
    if (op == "*" || op == "/")
        return 3;
    if (op == "+" || op == "-")
        return 4;
    if (op == "=" || op == "<>" || op == "#" || op == "!=" || op == "<" || op == "<=" || op == ">" || op == ">=" || op == "==")
        return 5;
    if (op == "NOT" || op == "!")
        return 6;
    if (op == "AND")
        return 7;
    if (op == "OR")
        return 8;
    return 0;
}

struct Token {
    enum Kind { Word, Text, Date, Op, LParen, RParen, Comma } kind;
    std::string text;
    bool attachedParen = false;  // a word directly followed by "("
};

bool isOperatorToken(const Token& t)
{
    if (t.kind == Token::Op || t.kind == Token::LParen || t.kind == Token::Comma)
        return true;
    if (t.kind == Token::Word) {
        std::string w = stripDots(upperAscii(t.text));
        return w == "AND" || w == "OR" || w == "NOT";
    }
    return false;
}

std::vector<Token> scan(const std::string& s)
{
    std::vector<Token> out;
    size_t i = 0;
    const size_t n = s.size();
    auto push = [&](Token t) {
        if (out.size() >= MaxTokens)
            fail("Expression cannot be evaluated");
        out.push_back(std::move(t));
    };
    while (i < n) {
        char c = s[i];
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
            ++i;
            continue;
        }
        if (c == '"' || c == '\'' || c == '[' || c == '{') {
            char close = c == '[' ? ']' : c == '{' ? '}' : c;
            size_t e = s.find(close, i + 1);
            if (e == std::string::npos)
                e = n;  // an unclosed literal runs to the end of the text
            push({c == '{' ? Token::Date : Token::Text, s.substr(i + 1, e - i - 1)});
            i = e < n ? e + 1 : n;
            continue;
        }
        if (c == ',') {
            push({Token::Comma, ","});
            ++i;
            continue;
        }
        if (c == '(') {
            push({Token::LParen, "("});
            ++i;
            continue;
        }
        if (c == ')') {
            push({Token::RParen, ")"});
            ++i;
            continue;
        }
        auto next = [&](size_t k) { return k < n ? s[k] : '\0'; };
        // A sign after nothing or after an operator belongs to the number that follows.
        if ((c == '+' || c == '-') && !(c == '-' && next(i + 1) == '>') && (out.empty() || isOperatorToken(out.back()))) {
            std::string w(1, c);
            ++i;
            while (i < n && s[i] == ' ')
                ++i;
            while (i < n && std::strchr(" \t\r\n\"'[{,()=<>#!+-*/^", s[i]) == nullptr)
                w += s[i++];
            // An exponent sign inside the number ("-1E-3") stays in it.
            while (i < n && (s[i] == '+' || s[i] == '-') && !w.empty() && (w.back() == 'E' || w.back() == 'e') && w.size() > 1 && isDigit(w[1])) {
                w += s[i++];
                while (i < n && std::strchr(" \t\r\n\"'[{,()=<>#!+-*/^", s[i]) == nullptr)
                    w += s[i++];
            }
            Token t{Token::Word, w};
            t.attachedParen = next(i) == '(';
            push(t);
            continue;
        }
        std::string two = s.substr(i, 2);
        if (two == "->") {
            // Alias prefix: "A->FIELD" reads as "A.FIELD", joined into one word.
            if (!out.empty() && out.back().kind == Token::Word) {
                out.back().text += '.';
                i += 2;
                while (i < n && std::strchr(" \t\r\n\"'[{,()=<>#!+-*/^", s[i]) == nullptr)
                    out.back().text += s[i++];
                out.back().attachedParen = next(i) == '(';
                continue;
            }
            push({Token::Word, "."});
            i += 2;
            continue;
        }
        if (two == "<>" || two == "!=" || two == "<=" || two == ">=" || two == "**" || two == "==") {
            push({Token::Op, two});
            i += 2;
            continue;
        }
        if (two == "=<") {
            push({Token::Op, "<="});
            i += 2;
            continue;
        }
        if (two == "=>") {
            push({Token::Op, ">="});
            i += 2;
            continue;
        }
        if (std::strchr("=#<>+-*/^!", c)) {
            push({Token::Op, std::string(1, c)});
            ++i;
            continue;
        }
        std::string w;
        while (i < n && std::strchr(" \t\r\n\"'[{,()=<>#!+-*/^", s[i]) == nullptr)
            w += s[i++];
        // Keep an exponent's sign inside a number word ("1E-3").
        while (i < n && (s[i] == '+' || s[i] == '-') && !w.empty() && isDigit(w[0]) && (w.back() == 'E' || w.back() == 'e')) {
            w += s[i++];
            while (i < n && std::strchr(" \t\r\n\"'[{,()=<>#!+-*/^", s[i]) == nullptr)
                w += s[i++];
        }
        Token t{Token::Word, w};
        t.attachedParen = next(i) == '(';
        push(t);
    }
    return out;
}

} // namespace

struct TExpNode {
    enum Kind { Field, Text, Number, Date, Logical, Paren, Func, Op } kind = Number;
    int field = -1;
    std::string text;  // literal text, field/function name, operator code
    double number = 0;
    bool logical = false;
    int level = 0;
    bool bound = false;
    int depth = 1;
    std::unique_ptr<TExpNode> left, right;
    std::vector<std::unique_ptr<TExpNode>> args;
};

namespace {

using NodeList = std::vector<std::unique_ptr<TExpNode>>;

struct Function {
    const char* name;
    int minArgs, maxArgs;
};
const Function functions[] = {
    {"UPPER", 1, 1}, {"LOWER", 1, 1}, {"TRIM", 1, 1}, {"RTRIM", 1, 1}, {"LTRIM", 1, 1},
    {"ALLTRIM", 1, 1}, {"SUBSTR", 2, 3}, {"LEFT", 2, 2}, {"RIGHT", 2, 2}, {"LEN", 1, 1},
    {"STR", 1, 3}, {"VAL", 1, 1}, {"DTOS", 1, 1}, {"DATE", 0, 0}, {"DELETED", 0, 0},
    {"IIF", 3, 3},
};

const Function* findFunction(const std::string& upperName)
{
    for (const auto& f : functions)
        if (upperName == f.name)
            return &f;
    return nullptr;
}

class Compiler {
public:
    Compiler(const std::vector<Token>& tokens, const TDbfTable* table, int& fieldLength)
        : t_(tokens), table_(table), fieldLength_(fieldLength)
    {
    }

    std::unique_ptr<TExpNode> compileAll()
    {
        size_t pos = 0;
        NodeList items = collect(pos, 0, false);
        if (pos < t_.size()) {
            if (t_[pos].kind == Token::RParen)
                fail("Unexpected closing parentheses found");
            fail("Expression cannot be evaluated");
        }
        return bind(std::move(items));
    }

private:
    // Reads items until the end, a ")" or (inside a call) a ",".
    NodeList collect(size_t& pos, int nesting, bool inCall)
    {
        if (nesting > MaxDepth / 4)
            fail("Expression cannot be evaluated");
        NodeList items;
        while (pos < t_.size()) {
            const Token& tok = t_[pos];
            if (tok.kind == Token::RParen)
                return items;
            if (tok.kind == Token::Comma) {
                if (inCall)
                    return items;
                fail("Expression cannot be evaluated");
            }
            ++pos;
            auto node = std::make_unique<TExpNode>();
            switch (tok.kind) {
            case Token::Text:
                node->kind = TExpNode::Text;
                node->text = tok.text;
                break;
            case Token::Date:
                node->kind = TExpNode::Date;
                node->number = parseDateLiteral(tok.text);
                break;
            case Token::Op:
                node->kind = TExpNode::Op;
                node->text = tok.text;
                node->level = operatorLevel(tok.text);
                break;
            case Token::LParen: {
                NodeList inner = collect(pos, nesting + 1, false);
                if (pos >= t_.size())
                    fail("Missing closing parentheses");
                ++pos;  // ")"
                node->kind = TExpNode::Paren;
                node->args.push_back(bind(std::move(inner)));
                node->depth = node->args[0]->depth + 1;
                node->bound = true;
                break;
            }
            case Token::Word: word(tok, *node, pos, nesting); break;
            default: break;
            }
            if (node->kind != TExpNode::Op)
                node->bound = true;
            items.push_back(std::move(node));
        }
        return items;
    }

    void word(const Token& tok, TExpNode& node, size_t& pos, int nesting)
    {
        std::string w = upperAscii(tok.text);
        std::string bare = stripDots(w);
        if (bare == "T" || bare == "F" || bare == "TRUE" || bare == "FALSE") {
            node.kind = TExpNode::Logical;
            node.logical = bare == "T" || bare == "TRUE";
            return;
        }
        if (bare == "AND" || bare == "OR" || bare == "NOT") {
            node.kind = TExpNode::Op;
            node.text = bare;
            node.level = operatorLevel(bare);
            return;
        }
        char c = w.empty() ? '\0' : w[0];
        if (isDigit(c) || c == '+' || c == '-') {
            node.kind = TExpNode::Number;
            node.number = parseNumberLiteral(w);
            return;
        }
        if ((isLetter(c) || c == '_' || c == '.') && tok.attachedParen && pos < t_.size() && t_[pos].kind == Token::LParen) {
            const Function* f = findFunction(w);
            if (!f)
                fail(fill("There is no function for %s", w));
            ++pos;  // "("
            node.kind = TExpNode::Func;
            node.text = w;
            if (pos < t_.size() && t_[pos].kind == Token::RParen) {
                ++pos;
            } else {
                for (;;) {
                    NodeList arg = collect(pos, nesting + 1, true);
                    if (pos >= t_.size())
                        fail("Missing closing parentheses");
                    node.args.push_back(bind(std::move(arg)));
                    node.depth = std::max(node.depth, node.args.back()->depth + 1);
                    if (t_[pos++].kind == Token::RParen)
                        break;
                }
            }
            if (int(node.args.size()) < f->minArgs || int(node.args.size()) > f->maxArgs)
                fail("Expression cannot be evaluated");
            return;
        }
        // A field name, possibly behind an alias prefix ("A.WORD1").
        std::string name = w;
        if (auto dot = name.rfind('.'); dot != std::string::npos && dot + 1 < name.size() && dot > 0)
            name = name.substr(dot + 1);
        int field = table_ ? table_->FindField(name) : -1;
        if (field < 0)
            fail(fill("Field/variable %s is unknown", w));
        node.kind = TExpNode::Field;
        node.field = field;
        node.text = table_->Field(field).Name;
        fieldLength_ = std::max(fieldLength_, table_->Field(field).Length);
    }

    // Binds the operators of one list, level by level, left to right.
    std::unique_ptr<TExpNode> bind(NodeList items)
    {
        for (int level = 2; level <= 8; ++level) {
            NodeList out;
            for (size_t i = 0; i < items.size(); ++i) {
                std::unique_ptr<TExpNode>& it = items[i];
                if (it->kind != TExpNode::Op || it->bound || it->level != level) {
                    out.push_back(std::move(it));
                    continue;
                }
                auto op = std::move(it);
                const bool prefix = op->text == "NOT" || op->text == "!";
                if (i + 1 >= items.size() || !items[i + 1]->bound)
                    fail(fill("Target value missing for %s operation", op->text));
                op->right = std::move(items[++i]);
                if (!prefix) {
                    if (out.empty() || !out.back()->bound)
                        fail(fill("Target value missing for %s operation", op->text));
                    op->left = std::move(out.back());
                    out.pop_back();
                }
                op->depth = 1 + std::max(op->right->depth, op->left ? op->left->depth : 0);
                if (op->depth > MaxDepth)
                    fail("Expression cannot be evaluated");
                op->bound = true;
                out.push_back(std::move(op));
            }
            items = std::move(out);
        }
        if (items.size() != 1 || !items[0]->bound)
            fail("Expression cannot be evaluated");
        return std::move(items[0]);
    }

    const std::vector<Token>& t_;
    const TDbfTable* table_;
    int& fieldLength_;
};

} // namespace

TExpHandler::TExpHandler(const TDbfTable* table) : table_(table) {}
TExpHandler::~TExpHandler() = default;

void TExpHandler::Compile(const std::string& text)
{
    root_.reset();
    result_ = TExpValue{};
    fieldLength_ = 0;
    text_ = text;
    std::vector<Token> tokens = scan(text);
    if (tokens.empty())
        return;
    int fieldLength = 0;
    Compiler compiler(tokens, table_, fieldLength);
    root_ = compiler.compileAll();
    fieldLength_ = fieldLength;
}

int TExpHandler::CompareText(std::string left, std::string right) const
{
    left = rtrim(std::move(left));
    right = rtrim(std::move(right));
    if (CaseInsensitive) {
        left = upperAscii(std::move(left));
        right = upperAscii(std::move(right));
    }
    auto plain = [&] {
        int c = std::memcmp(left.data(), right.data(), std::min(left.size(), right.size()));
        if (c != 0)
            return c < 0 ? -1 : 1;
        return left.size() < right.size() ? -1 : left.size() > right.size() ? 1 : 0;
    };
    if (Wildcard && !right.empty() && (right.front() == WildChar || right.back() == WildChar)) {
        if (right.size() == 1)
            return 0;
        const bool lead = right.front() == WildChar;
        const bool trail = right.back() == WildChar;
        std::string rest = right.substr(lead ? 1 : 0);
        if (trail)
            rest.pop_back();
        bool match = left == rest;
        if (!match && rest.size() <= left.size()) {
            if (lead && trail)
                match = left.find(rest) != std::string::npos;
            else if (trail)
                match = left.compare(0, rest.size(), rest) == 0;
            else
                match = left.compare(left.size() - rest.size(), rest.size(), rest) == 0;
        }
        if (match)
            return 0;
    }
    return plain();
}

namespace {

struct Evaluator {
    const TDbfTable* table;
    const char* record;
    const TExpHandler& handler;

    TExpValue eval(const TExpNode& n)
    {
        TExpValue v;
        switch (n.kind) {
        case TExpNode::Field: return field(n.field);
        case TExpNode::Text:
            v.type = TExpType::Character;
            v.text = n.text;
            return v;
        case TExpNode::Number:
            v.type = TExpType::Number;
            v.number = n.number;
            return v;
        case TExpNode::Date:
            v.type = TExpType::Date;
            v.number = n.number;
            return v;
        case TExpNode::Logical:
            v.type = TExpType::Logical;
            v.logical = n.logical;
            return v;
        case TExpNode::Paren: return eval(*n.args[0]);
        case TExpNode::Func: return call(n);
        case TExpNode::Op: return op(n);
        }
        return v;
    }

    TExpValue field(int f)
    {
        TExpValue v;
        const TDbfField& fd = table->Field(f);
        switch (fd.Type) {
        case 'N':
        case 'F':
        case 'I':
            v.type = TExpType::Number;
            v.number = table->GetNumber(f, record);
            break;
        case 'D': {
            v.type = TExpType::Date;
            auto d = table->GetDate(f, record);
            v.number = d ? double(*d) : 0;
            break;
        }
        case 'L':
            v.type = TExpType::Logical;
            v.logical = table->GetLogical(f, record);
            break;
        default: {
            // The stored text at full length, up to a 0x00.
            v.type = TExpType::Character;
            v.text = table->GetRaw(f, record);
            if (auto z = v.text.find('\0'); z != std::string::npos)
                v.text.resize(z);
        }
        }
        return v;
    }

    [[noreturn]] static void invalid(const char* required) { fail(fill("A %s value is required but invalid", required)); }

    TExpValue op(const TExpNode& n)
    {
        TExpValue r;
        const std::string& o = n.text;
        if (o == "NOT" || o == "!") {
            TExpValue x = eval(*n.right);
            if (x.type != TExpType::Logical)
                invalid("logical");
            r.type = TExpType::Logical;
            r.logical = !x.logical;
            return r;
        }
        TExpValue a = eval(*n.left);
        TExpValue b = eval(*n.right);
        bool sameKind = a.type == b.type || (numeric(a.type) && numeric(b.type));
        if (!sameKind)
            fail("The two sides of an operation do not match");
        const bool cmp = n.level == 5 && o != "==";
        if (a.type == TExpType::Character) {
            if (cmp) {
                int c = handler.CompareText(a.text, b.text);
                return logical(o, c);
            }
            r.type = TExpType::Character;
            if (o == "+") {
                r.text = a.text + b.text;
                return r;
            }
            if (o == "-") {
                std::string t = rtrim(a.text);
                r.text = t + b.text + std::string(a.text.size() - t.size(), ' ');
                return r;
            }
            invalid(o == "==" ? "character" : (o == "AND" || o == "OR") ? "logical" : "numeric");
        }
        if (numeric(a.type)) {
            if (cmp) {
                double d = a.number - b.number;
                return logical(o, d < 0 ? -1 : d > 0 ? 1 : 0);
            }
            r.type = TExpType::Number;
            if (o == "+")
                r.number = a.number + b.number;
            else if (o == "-")
                r.number = a.number - b.number;
            else if (o == "*")
                r.number = a.number * b.number;
            else if (o == "/")
                r.number = a.number / b.number;
            else if (o == "**" || o == "^")
                r.number = power(a.number, b.number);
            else
                invalid((o == "AND" || o == "OR") ? "logical" : "numeric");
            return r;
        }
        if (a.type == TExpType::Logical) {
            r.type = TExpType::Logical;
            if (o == "AND")
                r.logical = a.logical && b.logical;
            else if (o == "OR")
                r.logical = a.logical || b.logical;
            else if (o == "=")
                r.logical = a.logical == b.logical;
            else if (o == "#" || o == "<>" || o == "!=")
                r.logical = a.logical != b.logical;
            else
                invalid(o == "==" ? "logical" : "numeric");
            return r;
        }
        invalid("valid");
    }

    static double power(double base, double exponent)
    {
        // A whole-number exponent by repeated multiplication; x**0 is 1, a negative
        // exponent the reciprocal.
        double e = std::trunc(exponent);
        if (!(std::fabs(e) <= 1e6))
            return std::pow(base, e);
        long long k = (long long)std::fabs(e);
        double r = 1, b = base;
        while (k) {
            if (k & 1)
                r *= b;
            b *= b;
            k >>= 1;
        }
        return e < 0 ? 1 / r : r;
    }

    static TExpValue logical(const std::string& o, int c)
    {
        TExpValue r;
        r.type = TExpType::Logical;
        if (o == "=")
            r.logical = c == 0;
        else if (o == "<>" || o == "#" || o == "!=")
            r.logical = c != 0;
        else if (o == "<")
            r.logical = c < 0;
        else if (o == "<=")
            r.logical = c <= 0;
        else if (o == ">")
            r.logical = c > 0;
        else if (o == ">=")
            r.logical = c >= 0;
        return r;
    }

    TExpValue arg(const TExpNode& n, size_t i, TExpType want)
    {
        TExpValue v = eval(*n.args[i]);
        if (want == TExpType::Number ? !numeric(v.type) : v.type != want)
            invalid(typeName(want));
        return v;
    }

    TExpValue call(const TExpNode& n)
    {
        const std::string& f = n.text;
        TExpValue r;
        r.type = TExpType::Character;
        if (f == "UPPER" || f == "LOWER") {
            r.text = arg(n, 0, TExpType::Character).text;
            for (char& c : r.text)
                c = f == "UPPER" ? upperAscii(c) : ((c >= 'A' && c <= 'Z') ? char(c + 32) : c);
        } else if (f == "TRIM" || f == "RTRIM") {
            r.text = rtrim(arg(n, 0, TExpType::Character).text);
        } else if (f == "LTRIM" || f == "ALLTRIM") {
            r.text = arg(n, 0, TExpType::Character).text;
            r.text.erase(0, std::min(r.text.size(), r.text.find_first_not_of(' ')));
            if (f == "ALLTRIM")
                r.text = rtrim(r.text);
        } else if (f == "SUBSTR" || f == "LEFT" || f == "RIGHT") {
            std::string s = arg(n, 0, TExpType::Character).text;
            double a = arg(n, 1, TExpType::Number).number;
            size_t start = 0, len = s.size();
            auto clampCount = [&](double x) { return size_t(clampToInt(x, 0, (long long)s.size())); };
            if (f == "SUBSTR") {
                start = a <= 1 ? 0 : clampCount(a - 1);
                len = n.args.size() > 2 ? clampCount(arg(n, 2, TExpType::Number).number) : s.size();
            } else if (f == "LEFT") {
                len = clampCount(a);
            } else {
                len = clampCount(a);
                start = s.size() - len;
            }
            r.text = start < s.size() ? s.substr(start, len) : std::string();
        } else if (f == "LEN") {
            r.type = TExpType::Number;
            r.number = double(arg(n, 0, TExpType::Character).text.size());
        } else if (f == "STR") {
            double v = arg(n, 0, TExpType::Number).number;
            double w = n.args.size() > 1 ? arg(n, 1, TExpType::Number).number : 10;
            double d = n.args.size() > 2 ? arg(n, 2, TExpType::Number).number : 0;
            size_t width = size_t(clampToInt(w, 1, 255));
            int dec = int(clampToInt(d, 0, 15));
            char buf[512];
            std::snprintf(buf, sizeof buf, "%*.*f", int(width), dec, v);
            r.text = buf;
            if (r.text.size() > width)
                r.text.assign(width, '*');
        } else if (f == "VAL") {
            std::string s = arg(n, 0, TExpType::Character).text;
            s.erase(0, std::min(s.size(), s.find_first_not_of(' ')));
            s = rtrim(s);
            r.type = TExpType::Number;
            r.number = parseNumberLiteral(s);
        } else if (f == "DTOS") {
            double d = arg(n, 0, TExpType::Date).number;
            if (!(d > 0 && d <= 5373484)) {
                r.text = "        ";
            } else {
                int y, m, dd;
                DbfJulianToDate(int32_t(d), y, m, dd);
                char buf[32];
                std::snprintf(buf, sizeof buf, "%04d%02d%02d", y, m, dd);
                r.text = buf;
            }
        } else if (f == "DATE") {
            r.type = TExpType::Date;
            r.number = DbfToday();
        } else if (f == "DELETED") {
            r.type = TExpType::Logical;
            r.logical = table && record && table->IsDeleted(record);
        } else if (f == "IIF") {
            bool c = arg(n, 0, TExpType::Logical).logical;
            return eval(*n.args[c ? 1 : 2]);
        }
        return r;
    }
};

TExpType staticType(const TExpNode& n, const TDbfTable* table)
{
    switch (n.kind) {
    case TExpNode::Field: {
        char t = table->Field(n.field).Type;
        return (t == 'N' || t == 'F' || t == 'I') ? TExpType::Number : t == 'D' ? TExpType::Date : t == 'L' ? TExpType::Logical : TExpType::Character;
    }
    case TExpNode::Text: return TExpType::Character;
    case TExpNode::Number: return TExpType::Number;
    case TExpNode::Date: return TExpType::Date;
    case TExpNode::Logical: return TExpType::Logical;
    case TExpNode::Paren: return staticType(*n.args[0], table);
    case TExpNode::Func:
        if (n.text == "LEN" || n.text == "VAL")
            return TExpType::Number;
        if (n.text == "DATE")
            return TExpType::Date;
        if (n.text == "DELETED")
            return TExpType::Logical;
        if (n.text == "IIF")
            return staticType(*n.args[1], table);
        return TExpType::Character;
    case TExpNode::Op:
        if (n.level >= 5)
            return TExpType::Logical;
        {
            TExpType a = staticType(*n.left, table);
            return a == TExpType::Character ? TExpType::Character : numeric(a) ? TExpType::Number : TExpType::None;
        }
    }
    return TExpType::None;
}

// Length of a character result without evaluating; -1 when it depends on the data.
int staticLength(const TExpNode& n, const TDbfTable* table)
{
    switch (n.kind) {
    case TExpNode::Field: return table->Field(n.field).Length;
    case TExpNode::Text: return int(n.text.size());
    case TExpNode::Paren: return staticLength(*n.args[0], table);
    case TExpNode::Op: {
        if (n.text != "+" && n.text != "-")
            return -1;
        int a = staticLength(*n.left, table), b = staticLength(*n.right, table);
        return a < 0 || b < 0 ? -1 : a + b;
    }
    case TExpNode::Func:
        if (n.text == "UPPER" || n.text == "LOWER" || n.text == "TRIM" || n.text == "RTRIM" || n.text == "LTRIM" || n.text == "ALLTRIM")
            return staticLength(*n.args[0], table);
        if (n.text == "DTOS")
            return 8;
        if ((n.text == "LEFT" || n.text == "RIGHT") && n.args[1]->kind == TExpNode::Number)
            return int(clampToInt(n.args[1]->number, 0, 240));
        if (n.text == "SUBSTR" && n.args.size() == 3 && n.args[2]->kind == TExpNode::Number)
            return int(clampToInt(n.args[2]->number, 0, 240));
        if (n.text == "STR")
            return n.args.size() > 1 && n.args[1]->kind == TExpNode::Number ? int(clampToInt(n.args[1]->number, 1, 255)) : 10;
        return -1;
    default: return -1;
    }
}

void treeText(const TExpNode& n, std::string& out)
{
    char buf[64];
    switch (n.kind) {
    case TExpNode::Field: out += n.text; break;
    case TExpNode::Text: out += "\"" + n.text + "\""; break;
    case TExpNode::Number:
        std::snprintf(buf, sizeof buf, "%g", n.number);
        out += buf;
        break;
    case TExpNode::Date:
        std::snprintf(buf, sizeof buf, "{%g}", n.number);
        out += buf;
        break;
    case TExpNode::Logical: out += n.logical ? ".T." : ".F."; break;
    case TExpNode::Paren:
        out += "(";
        treeText(*n.args[0], out);
        out += ")";
        break;
    case TExpNode::Func:
    case TExpNode::Op:
        out += n.text + "(";
        if (n.kind == TExpNode::Func) {
            for (size_t i = 0; i < n.args.size(); ++i) {
                if (i)
                    out += ",";
                treeText(*n.args[i], out);
            }
        } else {
            if (n.left) {
                treeText(*n.left, out);
                out += ",";
            }
            treeText(*n.right, out);
        }
        out += ")";
        break;
    }
}

} // namespace

const TExpValue& TExpHandler::Evaluate(const char* record)
{
    if (!root_) {
        result_ = TExpValue{};
        return result_;
    }
    if (!record && table_)
        record = table_->RecordBuffer();
    Evaluator ev{table_, record, *this};
    result_ = ev.eval(*root_);
    return result_;
}

bool TExpHandler::Matches(const char* record)
{
    if (!root_)
        return true;
    const TExpValue& v = Evaluate(record);
    if (v.type != TExpType::Logical)
        throw EDatabaseError("Filter expression must return boolean result");
    return v.logical;
}

TExpType TExpHandler::StaticType() const { return root_ ? staticType(*root_, table_) : TExpType::None; }

char TExpHandler::KeyType() const
{
    switch (StaticType()) {
    case TExpType::Number: return 'N';
    case TExpType::Date: return 'D';
    default: return 'C';
    }
}

int TExpHandler::KeyLength() const
{
    if (!root_)
        return 0;
    TExpType t = StaticType();
    if (t == TExpType::Number || t == TExpType::Date)
        return 8;
    if (t == TExpType::Logical)
        return 1;
    int len = staticLength(*root_, table_);
    if (len < 0) {
        // Depends on the data: learn it from the current record, as a key build does.
        TExpHandler* self = const_cast<TExpHandler*>(this);
        len = int(self->Evaluate().text.size());
    }
    return std::min(len, 240);
}

std::string TExpHandler::EncodeNumericKey(double value)
{
    if (value == 0)
        value = 0;  // -0 sorts as 0
    uint64_t bits;
    std::memcpy(&bits, &value, 8);
    if (bits >> 63)
        bits = ~bits;
    else
        bits |= uint64_t(1) << 63;
    std::string out(8, '\0');
    for (int i = 0; i < 8; ++i)
        out[size_t(i)] = char(uint8_t(bits >> (56 - 8 * i)));
    return out;
}

std::string TExpHandler::KeyBytes(const char* record)
{
    const TExpValue& v = Evaluate(record);
    switch (v.type) {
    case TExpType::Number:
    case TExpType::Date: return EncodeNumericKey(v.number);
    case TExpType::Logical: return v.logical ? "T" : "F";
    case TExpType::Character: {
        std::string k = v.text;
        k.resize(size_t(KeyLength()), ' ');
        return k;
    }
    default: return {};
    }
}

void TExpHandler::RecordSpan(int& from, int& to) const
{
    from = to = 0;
    bool any = false;
    auto visit = [&](auto& self, const TExpNode* n) -> void {
        if (!n)
            return;
        if (n->kind == TExpNode::Field && table_) {
            const TDbfField& f = table_->Field(n->field);
            from = any ? std::min(from, f.Offset) : f.Offset;
            to = any ? std::max(to, f.Offset + f.Length) : f.Offset + f.Length;
            any = true;
        }
        self(self, n->left.get());
        self(self, n->right.get());
        for (const auto& a : n->args)
            self(self, a.get());
    };
    visit(visit, root_.get());
}

void TExpHandler::KeyInto(const char* record, char* out, int keyLength, char pad)
{
    const size_t want = size_t(keyLength);
    auto put = [&](const char* bytes, size_t n) {
        n = std::min(n, want);
        std::memcpy(out, bytes, n);
        std::memset(out + n, pad, want - n);
    };
    if (root_ && root_->kind == TExpNode::Field && table_) {
        if (!record)
            record = table_->RecordBuffer();
        const TDbfField& f = table_->Field(root_->field);
        switch (f.Type) {
        case 'N':
        case 'F':
        case 'I': {
            const std::string key = EncodeNumericKey(table_->GetNumber(root_->field, record));
            put(key.data(), key.size());
            return;
        }
        case 'D':
        case 'L': break;
        default: {
            // The stored text up to a 0x00, blank-padded to the key length as KeyBytes does.
            const char* p = record + f.Offset;
            size_t n = size_t(f.Length);
            if (const void* z = std::memchr(p, 0, n))
                n = size_t(static_cast<const char*>(z) - p);
            const size_t blanks = std::min(size_t(KeyLength()), want);
            n = std::min(n, blanks);
            std::memcpy(out, p, n);
            std::memset(out + n, ' ', blanks - n);
            std::memset(out + blanks, pad, want - blanks);
            return;
        }
        }
    }
    const std::string key = KeyBytes(record);
    put(key.data(), key.size());
}

std::string TExpHandler::TreeText() const
{
    std::string out;
    if (root_)
        treeText(*root_, out);
    return out;
}
