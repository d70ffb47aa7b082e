"""Quorvalent's private start-up module.

The program carries this module inside itself and runs it under the name
quorvalent_private when the interpreter starts.
"""

# A folder whose sources stand in for those of the package archives; the
# program sets it at start-up when there is one.
override_path = None
