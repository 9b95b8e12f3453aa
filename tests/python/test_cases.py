"""Runs every fixture in tests/cases through quenlor.to_xhtml."""

import unittest

import quenlor
from cases import all_cases


class FixtureCases(unittest.TestCase):
    def test_fixtures(self):
        cases = all_cases()
        self.assertGreater(len(cases), 0)
        for case in cases:
            with self.subTest(f"{case.file}:{case.line} {case.name}"):
                got = quenlor.to_xhtml(case.markdown, **case.options)
                self.assertEqual(got, case.expect, f"\nmarkdown:\n{case.markdown}")


if __name__ == "__main__":
    unittest.main()
