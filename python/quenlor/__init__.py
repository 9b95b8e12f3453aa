"""quenlor: a fast Markdown-to-XHTML converter with a C++ engine.

>>> import quenlor
>>> quenlor.to_xhtml("*hi*")
'<p><em>hi</em></p>\\n'
"""

from ._native import __version__, blocks, edit_nodes, to_xhtml

__all__ = ["to_xhtml", "blocks", "edit_nodes", "__version__"]
