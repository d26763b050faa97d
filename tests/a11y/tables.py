# What the program left in its files, read with the table tool mv32db (which stands beside
# mv32 in the build's bin folder): records of a catalog or the file list, a table's check.
import os
import subprocess

from session import DEADLINE


class TableError(Exception):
    pass


class Tables:
    def __init__(self, tool):
        self.tool = tool

    def _run(self, *args):
        r = subprocess.run([self.tool] + list(args), stdout=subprocess.PIPE,
                           stderr=subprocess.PIPE, timeout=DEADLINE)
        out = r.stdout.decode("utf-8", "replace")
        if r.returncode != 0:
            raise TableError("mv32db %s: %s%s" % (" ".join(args), out,
                                                  r.stderr.decode("utf-8", "replace")))
        return out

    def query(self, folder, statement):
        """Rows of a SELECT as dicts by column name."""
        lines = self._run("sql", folder, statement).splitlines()
        if not lines:
            return []
        header = lines[0].split("\t")
        return [dict(zip(header, line.split("\t"))) for line in lines[1:]]

    def records(self, table, fields="*", where=None, order="Name"):
        folder, file_name = os.path.split(table)
        statement = 'SELECT %s FROM "%s"' % (fields, file_name)
        if where:
            statement += " WHERE " + where
        if order:
            statement += " ORDER BY " + order
        return self.query(folder, statement)

    def record(self, table, record_name):
        rows = self.records(table, where="Name = '%s'" % record_name.replace("'", "''"))
        return rows[0] if rows else None

    def names(self, table):
        return [r["Name"] for r in self.records(table, "Name")]

    def count(self, table):
        folder, file_name = os.path.split(table)
        rows = self.query(folder, 'SELECT COUNT(*) AS Anzahl FROM "%s"' % file_name)
        return int(rows[0]["Anzahl"])

    def check(self, table):
        """The whole check of a table; raises with mv32db's findings when it is not sound."""
        return self._run("check", table)

    def files(self, folder, where=None):
        """Rows of the file list mv32list in folder."""
        statement = "SELECT * FROM mv32list"
        if where:
            statement += " WHERE " + where
        return self.query(folder, statement + " ORDER BY Verzeichnis, Dateiname")
