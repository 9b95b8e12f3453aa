"""Node callbacks: walk order, node dictionaries, replacement and errors."""

import gc
import tracemalloc
import unittest

import quenlor

NO_ATTRS = {"id": None, "classes": [], "pairs": []}


def recorder(calls, result=None):
    def callback(node, default):
        calls.append((node, default))
        return result(node, default) if callable(result) else result
    return callback


class WalkAndDictionaries(unittest.TestCase):
    def test_children_before_parents(self):
        calls = []
        cbs = {k: recorder(calls) for k in ("text", "emph", "paragraph", "block_quote")}
        out = quenlor.to_xhtml("> a *b*", callbacks=cbs)
        self.assertEqual(out, "<blockquote>\n<p>a <em>b</em></p>\n</blockquote>\n")
        self.assertEqual([c[0]["type"] for c in calls], ["text", "text", "emph", "paragraph", "block_quote"])
        self.assertEqual(calls[2], ({"type": "emph", "attrs": NO_ATTRS, "children": 1}, "<em>b</em>"))
        self.assertEqual(calls[3][0], {"type": "paragraph", "attrs": NO_ATTRS, "children": 2})

    def test_replacements_reach_parents(self):
        calls = []
        cbs = {"link": lambda n, d: "[LINK]", "paragraph": recorder(calls)}
        out = quenlor.to_xhtml('See [docs](http://x.org/a "Docs") now.', callbacks=cbs)
        self.assertEqual(out, "<p>See [LINK] now.</p>\n")
        self.assertEqual(calls, [({"type": "paragraph", "attrs": NO_ATTRS, "children": 3},
                                  "<p>See [LINK] now.</p>\n")])

    def test_identity_callbacks_change_nothing(self):
        doc = "# T\n\n- a *b* `c`\n- [x] d\n\n| h |\n|---|\n| c |\n\nx[^1]\n\n[^1]: note\n"
        plain = quenlor.to_xhtml(doc)
        kinds = ["text", "emph", "code", "heading", "paragraph", "list", "table", "footnote_ref"]
        self.assertEqual(quenlor.to_xhtml(doc, callbacks={k: (lambda n, d: d) for k in kinds
                                                          if k not in ("footnote_ref", "paragraph", "list")}),
                         plain)
        self.assertEqual(quenlor.to_xhtml(doc, callbacks={k: (lambda n, d: None) for k in kinds}), plain)

    def test_heading_sees_automatic_id_and_code_block_dict(self):
        calls = []
        quenlor.to_xhtml("# Hello World\n\n```py {#c .hl}\na < b\n```",
                         callbacks={"heading": recorder(calls), "code_block": recorder(calls)})
        self.assertEqual(calls[0][0], {"type": "heading", "level": 1,
                                       "attrs": {"id": "hello-world", "classes": [], "pairs": []}, "children": 1})
        self.assertEqual(calls[1][0], {
            "type": "code_block", "attrs": {"id": "c", "classes": ["py", "hl"], "pairs": []},
            "info": "py {#c .hl}", "lang": "py", "text": "a < b\n",
            "open": '<pre id="c" class="py hl"><code class="language-py">', "close": "</code></pre>\n"})

    def test_table_caption_not_offered(self):
        seen = []
        out = quenlor.to_xhtml("| a |\n|---|\n| c |\n: Cap *x*",
                               callbacks={"text": recorder(seen, lambda n, d: "[" + d + "]")})
        self.assertEqual([n["text"] for n, _ in seen], ["a", "c"])
        self.assertIn("<caption>Cap <em>x</em></caption>", out)

    def test_empty_string_removes_block(self):
        out = quenlor.to_xhtml("First\n\nSecond",
                               callbacks={"paragraph": lambda n, d: "" if "First" in d else None})
        self.assertEqual(out, "<p>Second</p>\n")

    def test_unknown_kind_never_called(self):
        self.assertEqual(quenlor.to_xhtml("a", callbacks={"nonsense": lambda n, d: 1 / 0}), "<p>a</p>\n")


class Errors(unittest.TestCase):
    def test_wrong_return_type(self):
        with self.assertRaises(TypeError) as cm:
            quenlor.to_xhtml("a", callbacks={"text": lambda n, d: 42})
        self.assertEqual(str(cm.exception), "'int' object is not an instance of 'str'")
        self.assertEqual(getattr(cm.exception, "__notes__", []), [])

    def test_exception_passes_unchanged(self):
        err = ValueError("boom")

        def cb(node, default):
            raise err

        with self.assertRaises(ValueError) as cm:
            quenlor.to_xhtml("*a*", callbacks={"emph": cb})
        self.assertIs(cm.exception, err)

    def test_not_callable(self):
        with self.assertRaises(TypeError):
            quenlor.to_xhtml("a", callbacks={"text": 3})

    def test_raise_midway_leaks_nothing(self):
        doc = " ".join(f"*w{i}*" for i in range(10_000))

        class Stop(Exception):
            pass

        def run():
            count = 0

            def cb(node, default):
                nonlocal count
                count += 1
                if count == 1000:
                    raise Stop(count)
                return default

            with self.assertRaises(Stop) as cm:
                quenlor.to_xhtml(doc, callbacks={"emph": cb})
            self.assertEqual(cm.exception.args, (1000,))

        run()
        gc.collect()
        tracemalloc.start()
        run()
        gc.collect()
        first, _ = tracemalloc.get_traced_memory()
        for _ in range(20):
            run()
        gc.collect()
        last, _ = tracemalloc.get_traced_memory()
        tracemalloc.stop()
        self.assertLess(last - first, 64 * 1024)


if __name__ == "__main__":
    unittest.main()
