"""What help() shows: the examples of the docstrings give what they say, and every yes/no option of
the core's diagram table is a keyword of orvane.diagram with its line of help."""

import doctest
import inspect

import orvane
from orvane import _core


def test_docstring_examples_hold():
    finder = doctest.DocTestFinder()
    runner = doctest.DocTestRunner(optionflags=doctest.NORMALIZE_WHITESPACE)
    for test in finder.find(orvane.diagram, "diagram", globs={"orvane": orvane}):
        runner.run(test)
    outcome = runner.summarize(verbose=False)
    assert outcome.failed == 0 and outcome.attempted >= 2


def test_every_switch_is_a_documented_keyword():
    parameters = inspect.signature(orvane.diagram).parameters
    for keyword, default, text in _core.DIAGRAM_SWITCHES:
        assert parameters[keyword].default is default and parameters[keyword].kind is inspect.Parameter.KEYWORD_ONLY
        assert f"    {keyword:<13} {text}" in orvane.diagram.__doc__
