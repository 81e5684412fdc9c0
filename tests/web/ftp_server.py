"""A real FTP server (pyftpdlib) on 127.0.0.1 for the download tests.

usage: ftp_server.py ROOT [--user NAME PASSWORD] [--no-pasv] [--no-rest] [--stray-226]

--stray-226 answers the first RETR that follows a nonzero REST with "226 Transfer complete."
and no transfer, as pyftpdlib itself does when it sees that data connection close before the
RETR; the answer waits until every other session has ended, so no other connection can still
take the range over.
Prints the chosen port on the first line of stdout, then serves until killed.
"""
import sys

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer


def main():
    args = sys.argv[1:]
    root = args.pop(0)
    authorizer = DummyAuthorizer()
    if "--user" in args:
        i = args.index("--user")
        authorizer.add_user(args[i + 1], args[i + 2], root, perm="elr")
    else:
        authorizer.add_anonymous(root)

    class Handler(FTPHandler):
        pass

    Handler.authorizer = authorizer
    if "--no-pasv" in args:
        def refuse(self, line):
            self.respond("502 Passive mode not offered.")
        Handler.ftp_PASV = refuse
        Handler.ftp_EPSV = refuse
    if "--no-rest" in args:
        def refuse_rest(self, line):
            self.respond("502 Restart not supported.")
        Handler.ftp_REST = refuse_rest
    if "--stray-226" in args:
        sessions = set()
        state = {"pending": True}

        def on_connect(self):
            sessions.add(self)

        def on_disconnect(self):
            sessions.discard(self)

        original_retr = FTPHandler.ftp_RETR

        def stray_retr(self, file):
            if not state["pending"] or not self._restart_position:
                return original_retr(self, file)
            state["pending"] = False

            def answer():
                if sessions - {self}:
                    self.ioloop.call_later(0.02, answer)
                else:
                    self.respond("226 Transfer complete.")
            answer()

        Handler.on_connect = on_connect
        Handler.on_disconnect = on_disconnect
        Handler.ftp_RETR = stray_retr
    Handler.permit_foreign_addresses = False
    server = FTPServer(("127.0.0.1", 0), Handler)
    print(server.socket.getsockname()[1], flush=True)
    server.serve_forever(handle_exit=True)


if __name__ == "__main__":
    main()
