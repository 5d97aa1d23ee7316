# Types of the compiled file job of regviafft, loaded by stabilize_file.
from typing import Any, Dict, List, Tuple

from ._regviafft import MotionRecord, OptionValue

# Each option of a file run: keyword, type, help, values, default and derived.
FILE_OPTIONS: List[Dict[str, Any]]
# Each option of a batch of files (regviafft.batch), described alike.
BATCH_OPTIONS: List[Dict[str, Any]]

def _stabilize_file(input: str, output: str, options: Dict[str, OptionValue]) -> Tuple[List[MotionRecord], Dict[str, Any]]: ...
def _parse_option(keyword: str, text: str) -> OptionValue: ...
