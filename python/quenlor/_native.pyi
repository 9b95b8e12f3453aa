from typing import Any, Callable, Literal, Mapping, SupportsIndex

__version__: str

MathMode = Literal["off", "on", "brackets", "dollars"]

def to_xhtml(
    markdown: str,
    *,
    math: MathMode = "brackets",
    tagfilter: bool = False,
    balance: bool = False,
    auto_ids: bool = True,
    smart: bool = False,
    callbacks: dict[str, Callable[[dict[str, Any], str], str | None]] | None = None,
    max_inline_depth: SupportsIndex | None = None,
    max_block_depth: SupportsIndex | None = None,
    max_link_paren_depth: SupportsIndex | None = None,
) -> str: ...
def blocks(markdown: str, *, math: MathMode = "brackets") -> list[dict[str, Any]]: ...
def edit_nodes(markdown: str, *, math: MathMode = "brackets") -> list[dict[str, Any]]: ...
