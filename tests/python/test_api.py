"""The module's entry points: signatures, argument handling and errors."""

import inspect
import unittest

import quenlor
from quenlor import _native


class NumpyBoolStandIn:
    """Looks like a NumPy boolean scalar: type named 'bool_' in module 'numpy'."""

    def __init__(self, value):
        self.value = value

    def __bool__(self):
        return self.value


NumpyBoolStandIn.__name__ = "bool_"
NumpyBoolStandIn.__qualname__ = "bool_"
NumpyBoolStandIn.__module__ = "numpy"


class Index:
    def __init__(self, n):
        self.n = n

    def __index__(self):
        return self.n


class StrSub(str):
    pass


class DictSub(dict):
    pass


class Module(unittest.TestCase):
    def test_version_and_exports(self):
        self.assertEqual(quenlor.__version__, "0.1.12")
        self.assertEqual(_native.__version__, "0.1.12")
        for name in ("to_xhtml", "blocks", "edit_nodes"):
            self.assertIs(getattr(quenlor, name), getattr(_native, name))

    def test_text_signatures(self):
        self.assertEqual(
            str(inspect.signature(quenlor.to_xhtml)),
            "(markdown, *, math='brackets', tagfilter=False, balance=False, auto_ids=True, smart=False, "
            "callbacks=None, max_inline_depth=None, max_block_depth=None, max_link_paren_depth=None)",
        )
        self.assertEqual(str(inspect.signature(quenlor.blocks)), "(markdown, *, math='brackets')")
        self.assertEqual(str(inspect.signature(quenlor.edit_nodes)), "(markdown, *, math='brackets')")

    def test_empty_input(self):
        self.assertEqual(quenlor.to_xhtml(""), "")
        self.assertEqual(quenlor.blocks(""), [])
        self.assertEqual(quenlor.edit_nodes(""), [])


class ArgumentErrors(unittest.TestCase):
    # (function, args, kwargs, exception type, message or None, notes)
    CASES = [
        (quenlor.to_xhtml, (), {}, TypeError, "to_xhtml() missing 1 required positional argument: 'markdown'", []),
        (quenlor.blocks, (), {}, TypeError, "blocks() missing 1 required positional argument: 'markdown'", []),
        (quenlor.to_xhtml, ("a", "brackets"), {}, TypeError,
         "to_xhtml() takes 1 positional arguments but 2 were given", []),
        (quenlor.edit_nodes, ("a", "b", "c"), {}, TypeError,
         "edit_nodes() takes 1 positional arguments but 3 were given", []),
        (quenlor.blocks, ("a",), {"tagfilter": True}, TypeError,
         "blocks() got an unexpected keyword argument 'tagfilter'", []),
        (quenlor.to_xhtml, ("a",), {"markdown": "b"}, TypeError,
         "to_xhtml() got multiple values for argument 'markdown'", []),
        (quenlor.to_xhtml, ("a",), {"math": None, "bogus": True}, TypeError,
         "to_xhtml() got an unexpected keyword argument 'bogus'", []),
        (quenlor.to_xhtml, (None,), {}, TypeError, "'None' is not an instance of 'str'",
         ["while processing 'markdown'"]),
        (quenlor.to_xhtml, (b"a",), {}, TypeError, "'bytes' object is not an instance of 'str'",
         ["while processing 'markdown'"]),
        (quenlor.to_xhtml, ("a",), {"math": None}, TypeError, "'None' is not an instance of 'str'",
         ["while processing 'math'"]),
        (quenlor.to_xhtml, ("a",), {"tagfilter": 1}, TypeError, "'int' object is not an instance of 'bool'",
         ["while processing 'tagfilter'"]),
        (quenlor.to_xhtml, ("a",), {"balance": "yes"}, TypeError, "'str' object is not an instance of 'bool'",
         ["while processing 'balance'"]),
        (quenlor.to_xhtml, ("# a",), {"auto_ids": None}, TypeError, "'None' is not an instance of 'bool'",
         ["while processing 'auto_ids'"]),
        (quenlor.to_xhtml, ("a",), {"callbacks": []}, TypeError, "'list' object is not an instance of 'dict'",
         ["while processing 'callbacks'"]),
        (quenlor.to_xhtml, ("a",), {"math": "Brackets", "smart": 1}, TypeError,
         "'int' object is not an instance of 'bool'", ["while processing 'smart'"]),
        (quenlor.to_xhtml, ("a",), {"max_inline_depth": -1}, OverflowError, None,
         ["while processing 'max_inline_depth'"]),
        (quenlor.to_xhtml, ("a",), {"max_block_depth": 2**64}, OverflowError, None,
         ["while processing 'max_block_depth'"]),
        (quenlor.to_xhtml, ("a",), {"max_link_paren_depth": 1.5}, TypeError, None,
         ["while processing 'max_link_paren_depth'"]),
        (quenlor.to_xhtml, ("a\ud800",), {}, UnicodeEncodeError, None, ["while processing 'markdown'"]),
        (quenlor.to_xhtml, ("a",), {"math": "Brackets"}, ValueError,
         "math must be 'off', 'on', 'brackets', or 'dollars'", []),
        (quenlor.edit_nodes, ("$x$",), {"math": "latex"}, ValueError,
         "math must be 'off', 'on', 'brackets', or 'dollars'", []),
        (quenlor.blocks, ("a",), {"math": 3}, TypeError, "'int' object is not an instance of 'str'",
         ["while processing 'math'"]),
    ]

    def test_errors(self):
        for fn, args, kwargs, exc, message, notes in self.CASES:
            with self.subTest(fn=fn.__name__, args=args, kwargs=kwargs):
                with self.assertRaises(exc) as cm:
                    fn(*args, **kwargs)
                if message is not None:
                    self.assertEqual(str(cm.exception), message)
                self.assertEqual(getattr(cm.exception, "__notes__", []), notes)


class AcceptedArguments(unittest.TestCase):
    def test_keyword_markdown_and_subclasses(self):
        self.assertEqual(quenlor.to_xhtml(markdown="a"), "<p>a</p>\n")
        self.assertEqual(quenlor.to_xhtml(StrSub("a")), "<p>a</p>\n")
        self.assertEqual(quenlor.to_xhtml("a", math=StrSub("off")), "<p>a</p>\n")
        self.assertEqual(quenlor.to_xhtml("a", callbacks=DictSub()), "<p>a</p>\n")
        self.assertEqual(quenlor.blocks(markdown="a", math="dollars"), [{"type": "paragraph", "start": 0, "end": 1}])

    def test_none_means_default(self):
        self.assertEqual(
            quenlor.to_xhtml("[a](x(y))", callbacks=None, max_link_paren_depth=None),
            '<p><a href="x(y)">a</a></p>\n',
        )

    def test_integer_limits(self):
        self.assertEqual(
            quenlor.to_xhtml("[a](b(c))", max_link_paren_depth=2**64 - 1), '<p><a href="b(c)">a</a></p>\n'
        )
        self.assertEqual(quenlor.to_xhtml("[a](b(c))", max_link_paren_depth=Index(0)), "<p>[a](b(c))</p>\n")
        self.assertEqual(quenlor.to_xhtml("a", max_inline_depth=0, max_block_depth=0, max_link_paren_depth=0),
                         "<p>a</p>\n")

    def test_bool_arguments(self):
        self.assertEqual(quenlor.to_xhtml("# Hi", auto_ids=False), "<h1>Hi</h1>\n")
        self.assertEqual(quenlor.to_xhtml("# Hi", auto_ids=NumpyBoolStandIn(False)), "<h1>Hi</h1>\n")
        self.assertEqual(quenlor.to_xhtml("# Hi", auto_ids=NumpyBoolStandIn(True)), '<h1 id="hi">Hi</h1>\n')
        self.assertEqual(quenlor.to_xhtml('"a"', smart=NumpyBoolStandIn(True)), "<p>\u201ca\u201d</p>\n")

    def test_math_modes(self):
        cases = {
            "off": "<p>(a) $b$</p>\n",
            "on": "<p>\\(a\\) $b$</p>\n",
            "brackets": '<p><span class="math inline">a</span> $b$</p>\n',
            "dollars": '<p><span class="math inline">a</span> <span class="math inline">b</span></p>\n',
        }
        for mode, expected in cases.items():
            with self.subTest(mode=mode):
                self.assertEqual(quenlor.to_xhtml("\\(a\\) $b$", math=mode), expected)


if __name__ == "__main__":
    unittest.main()
