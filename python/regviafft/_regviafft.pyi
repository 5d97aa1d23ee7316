# Types of the compiled half of regviafft.
from typing import Any, Dict, List, Sequence, Tuple, Union

import numpy as np

Frame = Union[np.ndarray, Tuple[np.ndarray, np.ndarray, np.ndarray], Tuple[np.ndarray, np.ndarray]]

class Error(RuntimeError): ...

class MotionRecord:
    index: int
    id: int
    time: float
    analysed: bool
    cut: bool
    motion_x: float
    motion_y: float
    whole_motion_x: int
    whole_motion_y: int
    peak: float
    votes: int
    template_count: int
    templates: List[Tuple[float, float, float]]
    path_x: float
    path_y: float
    correction_x: float
    correction_y: float
    def to_dict(self) -> Dict[str, Any]: ...

class _Stabilizer:
    def __init__(self, arguments: Sequence[str], width: int, height: int) -> None: ...
    def push(self, frame: Frame, id: int) -> None: ...
    def pull(self) -> Union[MotionRecord, None]: ...
    def render(self, record: MotionRecord, frame: Frame, out: Frame) -> None: ...
    def finish(self) -> None: ...
    def reset(self) -> None: ...
    @property
    def latency(self) -> int: ...
    @property
    def settings(self) -> Dict[str, Any]: ...

def _stabilize_file(input: str, output: str, arguments: Sequence[str], quiet: bool) -> Tuple[List[MotionRecord], Dict[str, Any]]: ...
