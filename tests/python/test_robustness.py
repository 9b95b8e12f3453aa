"""Hostile input, threads and leaks: nothing crashes, nothing is shared, nothing is kept."""

import gc
import os
import random
import sys
import threading
import time
import tracemalloc
import unittest
from pathlib import Path

import quenlor
from cases import all_cases
from test_api import ArgumentErrors

MAX = 2**64 - 1
NO_LIMITS = {"max_inline_depth": MAX, "max_block_depth": MAX, "max_link_paren_depth": MAX}
# Internal ceilings (see README, "Limits and guarantees").
BLOCK_CEILING = 256
INLINE_CEILING = 1000
NOTE_CEILING = 100
# Under AddressSanitizer (make test-sanitize) every byte costs many times more,
# and freed memory is held in quarantine: the inputs are ten times shorter (still
# far deeper than any ceiling) and resident memory is not compared.
SANITIZED = "libasan" in os.environ.get("LD_PRELOAD", "")
MILLION = 100_000 if SANITIZED else 1_000_000


# Stack of the threads that convert deep inputs: a quarter of the usual 8 MB
# (the ceilings keep a release build within about 512 KB; instrumented code
# needs several times more).
THREAD_STACK = 8 << 20 if SANITIZED else 2 << 20


def in_thread(fn, *args, **kwargs):
    """Runs fn on a new thread, whose stack is fixed when it starts."""
    box = {}

    def run():
        try:
            box["result"] = fn(*args, **kwargs)
        except BaseException as e:  # handed to the caller
            box["error"] = e

    previous = threading.stack_size(THREAD_STACK)
    try:
        t = threading.Thread(target=run)
        t.start()
    finally:
        threading.stack_size(previous)
    t.join()
    if "error" in box:
        raise box["error"]
    return box["result"]


# name -> (text, element whose nesting is counted, how many the ceilings let open)
DEEP = {
    "quote markers": (">" * MILLION + " a\n", "<blockquote>", BLOCK_CEILING),
    "spaced quote markers": ("> " * MILLION + "a\n", "<blockquote>", BLOCK_CEILING),
    "bullet markers": ("- " * MILLION + "a\n", "<ul>", BLOCK_CEILING // 2),  # a list and its item per marker
    "ordered markers": ("1. " * MILLION + "a\n", "<ol>", BLOCK_CEILING // 2),
    "definition markers": ("t\n" + ": " * MILLION + "a\n", "<dd>", BLOCK_CEILING),
    "div fences": ("::: d\n" * MILLION, '<div class="d">', BLOCK_CEILING),
    "html containers": ('<div markdown="1">\n' * MILLION + "a\n", "<div>", BLOCK_CEILING),
    "brackets": ("[" * MILLION + "a" + "]" * MILLION, "<a ", 0),
    "emphasis runs": ("*" * MILLION + "a" + "*" * MILLION, "<em>", None),
    "double equals": ("==" * MILLION + "a" + "==" * MILLION, "<mark>", None),
    "inline notes": ("^[" * MILLION + "a" + "]" * MILLION, "<li id=", NOTE_CEILING + 1),
    "quotes for smart punctuation": ("\"'" * MILLION + "a" + "'\"" * MILLION, "&#8220;", None),
    # Far deeper than any ceiling, but shorter: these cost time per byte, not per level.
    "quote and list markers": ("> * " * (MILLION // 10) + "a\n", "<blockquote>", BLOCK_CEILING // 3 + 1),
    "footnote definitions": ("[^a]\n\n" + "[^a]: " * (MILLION // 10) + "x\n", "<li id=", 1),
    "links": ("[" * (MILLION // 10) + "a" + "](u)" * (MILLION // 10), "<a ", 1),
    "emphasis words": ("*a " * (MILLION // 10) + "b" + " c*" * (MILLION // 10), "<em>", INLINE_CEILING),
    "highlights": ("==a " * (MILLION // 10) + "b" + " c==" * (MILLION // 10), "<mark>", None),
    # A paragraph at the deepest block level is parsed while its blocks are
    # being rendered: the two recursions add up.
    "highlights in quotes": (">" * 300 + " " + "==a " * (MILLION // 10) + "b" + " c==" * (MILLION // 10),
                             "<blockquote>", BLOCK_CEILING),
}


class DeepNesting(unittest.TestCase):
    """A million levels of every nesting construct, with every depth limit at its
    maximum: the internal ceilings keep each stage's recursion within the stack of
    the main thread and of a thread with a modest stack."""

    @staticmethod
    def every_stage(text):
        out = quenlor.to_xhtml(text, smart=True, balance=True, **NO_LIMITS)
        # Without smart punctuation most paragraphs are parsed as they are rendered.
        quenlor.to_xhtml(text, balance=True, **NO_LIMITS)
        keep = lambda node, default: None  # noqa: E731
        walked = quenlor.to_xhtml(text, callbacks={kind: keep for kind in ("text", "emph", "note", "block_quote")},
                                  **NO_LIMITS)
        return out, walked, quenlor.blocks(text), quenlor.edit_nodes(text)

    def test_million_deep_on_main_thread_and_in_a_thread(self):
        for name, (text, element, expected) in DEEP.items():
            with self.subTest(name):
                out, walked, spans, _ = in_thread(self.every_stage, text)
                self.assertTrue(walked)
                self.assertTrue(spans)
                self.assertEqual(quenlor.to_xhtml(text, smart=True, balance=True, **NO_LIMITS), out)
                if expected is not None:
                    self.assertEqual(out.count(element), expected)

    def test_nesting_below_the_ceiling_follows_the_limit(self):
        text = ">" * 2000 + " a"
        c = BLOCK_CEILING
        for limit, quotes in ((0, 0), (5, 5), (c - 1, c - 1), (c, c), (c + 1, c), (MAX, c)):
            with self.subTest(limit=limit):
                out = quenlor.to_xhtml(text, max_block_depth=limit)
                self.assertEqual(out.count("<blockquote>"), quotes)
                self.assertEqual(out.count("</blockquote>"), quotes)

    def test_grid_table_cells_share_the_ceiling(self):
        # Each nested parse of a cell counts towards the same ceiling as the
        # containers inside it, so quotes in a cell open fewer levels.
        inner = ">" * 1500 + " a"
        width = len(inner) + 2
        table = "\n".join(["+" + "-" * width + "+", "| " + inner + " |", "+" + "-" * width + "+"])
        out = quenlor.to_xhtml(table, **NO_LIMITS)
        self.assertIn("<table>", out)
        self.assertLess(out.count("<blockquote>"), BLOCK_CEILING)
        self.assertGreater(out.count("<blockquote>"), BLOCK_CEILING - 10)


REGRESSIONS = Path(__file__).resolve().parent.parent.parent / "fuzz" / "regressions"


def fuzz_input(raw):
    """Options and text of a fuzz input, read as the fuzz target reads them."""
    o0, o1 = raw[0], raw[1]
    options = {"math": ("off", "on", "brackets", "dollars")[o0 & 3], "tagfilter": bool(o0 & 4),
               "balance": bool(o0 & 8), "auto_ids": bool(o0 & 16), "smart": bool(o0 & 32)}
    if o1 & 0x80:
        options.update(max_inline_depth=o1 & 7, max_block_depth=(o1 >> 3) & 7, max_link_paren_depth=o1 & 3)
    elif o1 & 0x40:
        options.update(NO_LIMITS)
    return options, raw[2:].decode("utf-8", "replace")


class FuzzRegressions(unittest.TestCase):
    """Every input the fuzz target once failed on converts and keeps the promises
    on spans and edit nodes."""

    def test_regression_inputs(self):
        files = sorted(p for p in REGRESSIONS.glob("*") if not p.name.startswith("."))
        self.assertTrue(files)
        for path in files:
            with self.subTest(path.name):
                options, text = fuzz_input(path.read_bytes())
                quenlor.to_xhtml(text, **options)
                lines = text.replace("\r\n", "\n").replace("\r", "\n")
                count = lines.count("\n") + (0 if lines.endswith("\n") or not lines else 1)
                end = 0
                for span in quenlor.blocks(text, math=options["math"]):
                    self.assertTrue(end <= span["start"] < span["end"] <= count, span)
                    end = span["end"]
                raw = text.encode("utf-8")
                end = 0
                for node in quenlor.edit_nodes(text, math=options["math"]):
                    self.assertTrue(end <= node["start"] < node["end"] <= len(raw), node)
                    self.assertEqual(raw[node["start"]:node["end"]].decode("utf-8"), node["source"])
                    end = node["end"]

    def test_flushed_attribute_lines_have_one_span(self):
        # Attribute lines that carry nothing, then a definition, then a block:
        # the lines become a paragraph but keep their one "attr_def" span.
        text = "{: \u00aea}\n{:d: .x}\n|\n: T\n"
        self.assertEqual([(s["type"], s["start"], s["end"]) for s in quenlor.blocks(text)],
                         [("attr_def", 0, 1), ("attr_def", 1, 2), ("definition_list", 2, 4)])
        self.assertEqual(quenlor.to_xhtml(text), "<p>{: \u00aea}</p>\n<dl>\n<dt>|</dt>\n<dd>T</dd>\n</dl>\n")


    def test_attribute_line_after_a_definition_keeps_spans_apart(self):
        # The line's attributes still reach the block quote, but its span does not
        # grow over the definition's.
        text = ">\n{: .a}\n{:d: .y}\n{: .x}\n\np\n"
        self.assertEqual([(s["type"], s["start"], s["end"]) for s in quenlor.blocks(text)],
                         [("block_quote", 0, 2), ("attr_def", 2, 3), ("paragraph", 5, 6)])
        self.assertTrue(quenlor.to_xhtml(text).startswith('<blockquote class="a x">'))


class EditNodeOffsets(unittest.TestCase):
    """Offsets are mapped back to the text as passed, whatever its line ends:
    each node's bytes are exactly its source (the fuzz target checks the core
    only, not this mapping)."""

    PIECES = ["![a](u)", "![b](<x y> 't')", "$x$", "$$y$$", "\\(z\\)", "\\[w\\]", "\r\n", "\r", "\n", "\n\n",
              "> ", "- ", "é", "text ", "`![c](d)`", "[l](m)", "| a | b |\r\n|---|---|\r\n| $q$ | ![t](u) |\r\n"]

    def test_random_texts_with_every_line_end(self):
        for seed in range(500):
            r = random.Random(seed)
            text = "".join(r.choice(self.PIECES) for _ in range(r.randint(1, 30)))
            raw = text.encode("utf-8")
            for math in ("brackets", "dollars"):
                end = 0
                for node in quenlor.edit_nodes(text, math=math):
                    with self.subTest(text=text, node=node):
                        self.assertTrue(end <= node["start"] < node["end"] <= len(raw))
                        self.assertEqual(raw[node["start"]:node["end"]].decode("utf-8"), node["source"])
                        if node["type"] == "image":
                            self.assertTrue(node["start"] <= node["_url_start"] <= node["_url_end"] <= node["end"])
                    end = node["end"]


def documents():
    docs = [case.markdown for case in all_cases()]
    sample = Path(__file__).resolve().parent.parent.parent / "bench" / "sample.md"
    if sample.exists():
        docs.append(sample.read_text(encoding="utf-8"))
    docs.append("[^n]\n\n[^n]: note ^[inline *note*]\n\n# Head\n\n> - a\n> - b\n\n| a | b |\n|---|---|\n| $x$ | ![i](u) |\n")
    return docs


def convert(i, text, callbacks):
    """One document's results; the options vary with the document's index."""
    options = {"smart": i % 2 == 0, "balance": i % 3 == 0, "math": ("brackets", "dollars")[i % 2]}
    if not callbacks:
        return (quenlor.to_xhtml(text, **options), quenlor.blocks(text),
                quenlor.edit_nodes(text, math=options["math"]))
    seen = []

    def note(node, default):
        seen.append(node["type"])
        time.sleep(0)  # lets another thread run while this conversion waits in its callback
        return default.upper() if node["type"] == "emph" else None

    options["callbacks"] = {"emph": note, "heading": note, "text": note}
    return quenlor.to_xhtml(text, **options), seen


class Threads(unittest.TestCase):
    """With the interpreter lock, conversions interleave where a callback runs
    Python code; without it, everywhere. Either way no call may see another's state."""

    THREADS = 8

    def setUp(self):
        interval = sys.getswitchinterval()
        sys.setswitchinterval(1e-6)
        self.addCleanup(sys.setswitchinterval, interval)

    def test_concurrent_conversions_match_single_threaded(self):
        docs = documents()
        for callbacks in (False, True):
            with self.subTest(callbacks=callbacks):
                expected = [convert(i, text, callbacks) for i, text in enumerate(docs)]
                results = [{} for _ in range(self.THREADS)]
                errors = []
                start = threading.Barrier(self.THREADS)

                def work(t):
                    order = list(range(len(docs)))
                    random.Random(t).shuffle(order)  # each thread meets the documents in its own order
                    try:
                        start.wait()
                        for _ in range(3):
                            for i in order:
                                results[t][i] = convert(i, docs[i], callbacks)
                    except BaseException as e:
                        errors.append(e)

                threads = [threading.Thread(target=work, args=(t,)) for t in range(self.THREADS)]
                for th in threads:
                    th.start()
                for th in threads:
                    th.join()
                self.assertEqual(errors, [])
                for t in range(self.THREADS):
                    self.assertEqual([results[t][i] for i in range(len(docs))], expected)


class Raises(Exception):
    pass


def raising_callback(node, default):
    raise Raises(node["type"])


def error_paths():
    """Every call that fails, as (function, args, kwargs, exception type)."""
    paths = [(fn, args, kwargs, exc) for fn, args, kwargs, exc, _, _ in ArgumentErrors.CASES]

    class BadIndex:
        def __index__(self):
            raise Raises("index")

    class BadBool:
        def __bool__(self):
            raise Raises("bool")

    BadBool.__module__ = "numpy"
    BadBool.__name__ = BadBool.__qualname__ = "bool_"
    paths += [
        (quenlor.to_xhtml, ("*a* [b](c)\n\n> d",), {"callbacks": {"emph": raising_callback}}, Raises),
        (quenlor.to_xhtml, ("> d",), {"callbacks": {"block_quote": raising_callback}}, Raises),
        (quenlor.to_xhtml, ("*a*",), {"callbacks": {"emph": lambda n, d: 3}}, TypeError),
        (quenlor.to_xhtml, ("a",), {"max_inline_depth": BadIndex()}, Raises),
        (quenlor.to_xhtml, ("a",), {"smart": BadBool()}, Raises),
        (quenlor.to_xhtml, ("a\udc80",), {"callbacks": {}}, UnicodeEncodeError),
        (quenlor.blocks, ("a\ud800",), {}, UnicodeEncodeError),
        (quenlor.edit_nodes, ("$a$\ud800",), {"math": "dollars"}, UnicodeEncodeError),
    ]
    return paths


SUCCESS = [
    (quenlor.to_xhtml, ("# T\n\n*a* [b](c) $x$ ^[n] [^f]\n\n[^f]: foot\n\n> q",), {"smart": True, "balance": True}),
    (quenlor.to_xhtml, ("# T\n\n*a* ![b](c) ^[n]\n\n| a |\n|---|\n| b |",),
     {"callbacks": {"emph": lambda n, d: "<i/>", "heading": lambda n, d: None, "table": lambda n, d: d,
                    "note": lambda n, d: None}}),
    (quenlor.blocks, ("# T\n\n```py\nx\n```\n\n$$\nm\n$$\n",), {}),
    (quenlor.edit_nodes, ("![a](b 't') $x$ \\(y\\)\r\n",), {"math": "dollars"}),
]


def rss_kb():
    with open("/proc/self/statm") as f:
        return int(f.read().split()[1]) * 4


class Leaks(unittest.TestCase):
    """Repeating every entry point and every failing call leaves memory flat."""

    def run_all(self, rounds):
        paths = error_paths()
        for _ in range(rounds):
            for fn, args, kwargs in SUCCESS:
                fn(*args, **kwargs)
            for fn, args, kwargs, exc in paths:
                try:
                    fn(*args, **kwargs)
                except exc:
                    pass
                else:
                    self.fail(f"{fn.__name__}{args} {kwargs} did not raise")

    def test_memory_stays_flat(self):
        self.run_all(200)  # warm every cache and allocator pool
        gc.collect()
        tracemalloc.start()
        try:
            self.run_all(50)
            gc.collect()
            before = tracemalloc.take_snapshot()
            rss_before = rss_kb()
            self.run_all(2000)
            gc.collect()
            after = tracemalloc.take_snapshot()
            rss_after = rss_kb()
        finally:
            tracemalloc.stop()
        grown = sum(s.size_diff for s in after.compare_to(before, "filename") if s.size_diff > 0)
        self.assertLess(grown, 64 * 1024, [str(s) for s in after.compare_to(before, "lineno")[:5]])
        # A leak of even one small object per call would add several megabytes here.
        if not SANITIZED:
            self.assertLess(rss_after - rss_before, 2048)


if __name__ == "__main__":
    unittest.main()
