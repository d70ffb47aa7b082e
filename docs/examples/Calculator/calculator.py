"""Arithmetic typed in the search text, answered as a suggestion.

Typing "2*(3+4)" suggests 14. After choosing the "Calculator" item (Enter or
Tab), any expression typed is evaluated, with a few functions and constants ("sqrt(2)",
"cos(pi)"); what cannot be evaluated shows an error item.
Executing the answer copies it to the clipboard.
"""

import ast
import math
import operator

import quorvalent

# Values of the plugin API.
CATEGORY_ERROR = 1
CATEGORY_KEYWORD = 10
CATEGORY_EXPRESSION = 50
ARGS_FORBIDDEN = 0
ARGS_REQUIRED = 2
HIT_KEEPALL = 0
HIT_IGNORE = 1
MATCH_ALL = 0
SORT_KEEP_ORDER = 0

OPERATORS = {
    ast.Add: operator.add, ast.Sub: operator.sub, ast.Mult: operator.mul,
    ast.Div: operator.truediv, ast.FloorDiv: operator.floordiv, ast.Mod: operator.mod,
    ast.Pow: operator.pow, ast.USub: operator.neg, ast.UAdd: operator.pos,
}
NAMES = {
    "pi": math.pi, "e": math.e, "sqrt": math.sqrt, "exp": math.exp, "log": math.log,
    "log10": math.log10, "sin": math.sin, "cos": math.cos, "tan": math.tan, "abs": abs,
    "floor": math.floor, "ceil": math.ceil, "round": round,
}
# 9**9**9 would keep the thread busy for hours.
MAX_EXPONENT = 1000


def evaluate(node):
    """The value of a parsed expression of numbers, operators and the
    functions of NAMES; ValueError for anything else."""
    if isinstance(node, ast.Expression):
        return evaluate(node.body)
    if isinstance(node, ast.Constant) and isinstance(node.value, (int, float)):
        return node.value
    if isinstance(node, ast.BinOp) and type(node.op) in OPERATORS:
        left, right = evaluate(node.left), evaluate(node.right)
        if isinstance(node.op, ast.Pow) and abs(right) > MAX_EXPONENT:
            raise ValueError("exponent too large")
        return OPERATORS[type(node.op)](left, right)
    if isinstance(node, ast.UnaryOp) and type(node.op) in OPERATORS:
        return OPERATORS[type(node.op)](evaluate(node.operand))
    if isinstance(node, ast.Name) and isinstance(NAMES.get(node.id), (int, float)):
        return NAMES[node.id]
    if isinstance(node, ast.Call) and isinstance(node.func, ast.Name) and not node.keywords \
            and callable(NAMES.get(node.func.id)):
        return NAMES[node.func.id](*[evaluate(arg) for arg in node.args])
    raise ValueError("not arithmetic")


def calculate(text):
    """The value of the text, as shown; ValueError when it has none."""
    try:
        value = evaluate(ast.parse(text.replace("^", "**"), mode="eval"))
    except (SyntaxError, TypeError, ArithmeticError) as e:
        raise ValueError(str(e))
    if isinstance(value, float) and value.is_integer() and abs(value) < 1e15:
        value = int(value)
    return "{:.12g}".format(value) if isinstance(value, float) else str(value)


def looks_arithmetic(text):
    """Digits and at least one operator: worth answering without being asked."""
    return any(c.isdigit() for c in text) and any(c in "+-*/%^" for c in text.strip()[1:])


class Calculator(quorvalent.Plugin):
    def on_catalog(self):
        # The item itself computes nothing: it requires its arguments, so
        # that Enter on it asks for the expression, as Tab does.
        self.set_catalog([quorvalent.CatalogItem(
            self, CATEGORY_KEYWORD, "Calculator", "Evaluate an arithmetic expression",
            "calculator", ARGS_REQUIRED, True, HIT_KEEPALL, 0, "")])

    def on_suggest(self, text, chain):
        # With a chain, the user chose the Calculator item and asks for an
        # answer; without, the text is answered only when it looks like a sum.
        text = text.strip()
        if not text or (not chain and not looks_arithmetic(text)):
            return
        try:
            value = calculate(text)
            answer = quorvalent.CatalogItem(
                self, CATEGORY_EXPRESSION, value, text + " =", value, ARGS_FORBIDDEN, False,
                HIT_IGNORE, 0, "")
        except ValueError as e:
            if not chain:
                return
            answer = quorvalent.CatalogItem(
                self, CATEGORY_ERROR, "Cannot calculate this", str(e), "", ARGS_FORBIDDEN,
                False, HIT_IGNORE, 0, "")
        self.set_suggestions([answer], MATCH_ALL, SORT_KEEP_ORDER)

    def on_execute(self, item, action):
        if item.category() == CATEGORY_EXPRESSION:
            quorvalent.set_clipboard(item.target())
