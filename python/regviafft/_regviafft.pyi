# Types of the compiled half of regviafft.
from typing import Any, Dict, List, Tuple, Union

import numpy as np

Frame = Union[np.ndarray, Tuple[np.ndarray, np.ndarray, np.ndarray], Tuple[np.ndarray, np.ndarray]]
OptionValue = Union[bool, int, float, str, Tuple[int, int], None]

# The package's version, the library's.
__version__: str
# Each option: keyword, type, help, values, default (None when derived) and derived.
STABILIZER_OPTIONS: List[Dict[str, Any]]
# Each field of a motion record: (name, "integer" | "number" | "truth"), in order.
RECORD_FIELDS: List[Tuple[str, str]]
# Each field of a template's measurement, the same way.
TEMPLATE_FIELDS: List[Tuple[str, str]]

class MotionRecord:
    id: int
    time: float
    templates: List[Dict[str, Union[float, bool]]]
    # One attribute for each name of RECORD_FIELDS: int, float or bool.
    def __getattr__(self, name: str) -> Union[int, float, bool]: ...
    def to_dict(self) -> Dict[str, Any]: ...

class _Stabilizer:
    def __init__(self, width: int, height: int, options: Dict[str, OptionValue]) -> None: ...
    def push(self, frame: Frame, id: int, copy: bool) -> None: ...
    def pull(self) -> Union[Tuple[MotionRecord, Frame], None]: ...
    def render(self, record: MotionRecord, frame: Frame, out: Frame) -> None: ...
    def finish(self) -> None: ...
    def reset(self) -> None: ...
    @property
    def latency(self) -> int: ...
    @property
    def settings(self) -> Dict[str, Any]: ...

