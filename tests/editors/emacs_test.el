;;; emacs_test.el --- Emacs, in batch, with editors/emacs and eglot  -*- lexical-binding: t; -*-

;; Opens main.vs of the project that test_emacs.py made, starts vorn-lsp through eglot
;; as M-x eglot does, and checks the mode and its highlighting, the diagnostics eglot
;; received (on the included file and on the include line of each of its two includers), what
;; flymake shows (a misspelt command's did-you-mean among it), a go to definition onto a
;; defvar of the included file, a completion there that offers a name only its other includer
;; defines, formatting in vorn-fmt's layout whatever the buffer's indentation settings, and
;; lines typed with newline-and-indent; both saved files pass vorn-fmt --check. Exits 0 when
;; all hold; otherwise prints what failed and exits 1.

; Batch mode reads no init file; Debian's site start-up puts eglot on the load path.
(add-to-list 'load-path (getenv "VORN_EMACS_LISP"))
(require 'vorn-mode)
(require 'eglot)
(require 'flymake)
(require 'xref)
(require 'cl-lib)

(defconst vorn-test-wait-seconds 10 "How long each wait for the server lasts.")
(defvar vorn-test-failures nil)
(defvar vorn-test-received nil "(file line message) of every diagnostic eglot received.")

(defun vorn-test-check (ok what)
  (unless ok
    (push what vorn-test-failures)))

(defun vorn-test-wait (predicate)
  "Lets the server's messages in until PREDICATE holds, or the wait ends."
  (let ((end (+ (float-time) vorn-test-wait-seconds)))
    (while (and (not (funcall predicate)) (< (float-time) end))
      (accept-process-output nil 0.05))
    (funcall predicate)))

(cl-defmethod eglot-handle-notification :before
  (_server (_method (eql textDocument/publishDiagnostics)) &key uri diagnostics &allow-other-keys)
  (cl-loop for diagnostic across diagnostics
           do (push (list (eglot--uri-to-path uri)
                          (plist-get (plist-get (plist-get diagnostic :range) :start) :line)
                          (plist-get diagnostic :message))
                    vorn-test-received)))

(defun vorn-test-face-at (text)
  "The face font-lock gives the first character of TEXT in the current buffer."
  (save-excursion
    (goto-char (point-min))
    (search-forward text)
    (get-text-property (match-beginning 0) 'face)))

(defun vorn-test-run (root)
  (setq vorn-lsp-program (getenv "VORN_LSP"))
  (let* ((main (expand-file-name "main.vs" root))
         (lib (expand-file-name "lib/doors.vs" root))
         (other (expand-file-name "other.vs" root))
         (xref-prompt-for-identifier nil)
         (server nil))
    (find-file main)
    (vorn-test-check (eq major-mode 'vorn-mode) (format "mode of main.vs: %s" major-mode))
    (font-lock-ensure)
    (vorn-test-check (eq (vorn-test-face-at "the doors") 'font-lock-comment-face) "';' comment face")
    (vorn-test-check (eq (vorn-test-face-at "é") 'font-lock-comment-face) "'/' comment face")
    (vorn-test-check (eq (vorn-test-face-at "include") 'font-lock-keyword-face) "include face")
    (vorn-test-check (eq (vorn-test-face-at "Say") 'font-lock-builtin-face) "command face")
    (vorn-test-check (eq (vorn-test-face-at "\"open\"") 'font-lock-string-face) "string face")

    (call-interactively #'eglot)
    (setq server (eglot-current-server))
    (vorn-test-check server "eglot did not start vorn-lsp")
    ;; The shared file's error, and the include line of each includer, open or not.
    (let ((want (list (list lib 1 "Unknown argument 'Nope' (in the compile")
                      (list main 0 "In lib/doors.vs: Unknown argument 'Nope'")
                      (list other 1 "In lib/doors.vs: Unknown argument 'Nope'"))))
      (vorn-test-check
       (vorn-test-wait
        (lambda ()
          (cl-every (lambda (d)
                      (cl-some (lambda (r) (and (equal (butlast r) (butlast d))
                                                (string-prefix-p (nth 2 d) (nth 2 r))))
                               vorn-test-received))
                    want)))
       (format "diagnostics received: %S" vorn-test-received)))
    ;; What flymake shows in main.vs: the error on the include line.
    (vorn-test-wait (lambda () (flymake-diagnostics)))
    (let ((shown (mapcar (lambda (d) (list (line-number-at-pos (flymake-diagnostic-beg d))
                                           (flymake-diagnostic-type d)
                                           (flymake-diagnostic-text d)))
                         (flymake-diagnostics))))
      ;; eglot puts the source and the code before the server's text.
      (vorn-test-check (and (equal (mapcar #'butlast shown) '((1 eglot-error)))
                            (string-suffix-p ": In lib/doors.vs: Unknown argument 'Nope'" (nth 2 (car shown))))
                       (format "flymake in main.vs: %S" shown)))
    ;; A misspelt command: flymake shows the message alone, so the did-you-mean is in it.
    (goto-char (point-max))
    (insert "    Sya(\"hi\")\n")
    ;; Batch Emacs is never idle, so eglot's idle timer would not send the change: a save does.
    (save-buffer)
    (vorn-test-check
     (vorn-test-wait
      (lambda ()
        (cl-some (lambda (d) (string-match-p "Unknown command 'Sya'; did you mean 'Say'\\?"
                                             (flymake-diagnostic-text d)))
                 (flymake-diagnostics))))
     (format "flymake in main.vs after Sya: %S; received %S" (mapcar #'flymake-diagnostic-text (flymake-diagnostics)) vorn-test-received))
    (delete-region (line-beginning-position 0) (point-max))

    ;; Wait(Doors) on line 4: Doors is a defvar of lib/doors.vs, line 1 column 7.
    (goto-char (point-min))
    (forward-line 3)
    (move-to-column 10)
    (call-interactively #'xref-find-definitions)
    (vorn-test-check (equal (buffer-file-name) lib) (format "definition jumped to %s" (buffer-file-name)))
    (vorn-test-check (equal (list (line-number-at-pos) (current-column)) '(1 7))
                     (format "definition at line %d column %d" (line-number-at-pos) (current-column)))
    (vorn-test-check (eq major-mode 'vorn-mode) (format "mode of doors.vs: %s" major-mode))
    ;; Completion in the shared file, through eglot's completion at point: Spare, which only
    ;; other.vs defines, is offered.
    (goto-char (point-min))
    (forward-line 1)
    (search-forward "Nope")
    (goto-char (match-beginning 0))
    (let* ((capf (eglot-completion-at-point))
           (labels (and capf (all-completions "" (nth 2 capf)))))
      (vorn-test-check (member "Spare" labels) (format "completion in doors.vs: %S" labels)))
    ;; Outside version control, the project is the folder of the lists, for every file.
    (vorn-test-check (equal (project-root (project-current)) (file-name-as-directory root))
                     (format "project of doors.vs: %S" (project-current)))
    (vorn-test-check (eq (eglot-current-server) server) "doors.vs has a server of its own")

    ;; Formatting through eglot gives vorn-fmt's four blanks whatever the buffer's settings.
    (find-file main)
    (goto-char (point-min))
    (forward-line 2)
    (delete-region (point) (line-end-position))
    (insert "\tSay( \"open\" )")
    (setq-local indent-tabs-mode t)
    (setq-local tab-width 2)
    (eglot-format-buffer)
    (vorn-test-check (equal (buffer-substring-no-properties (line-beginning-position) (line-end-position))
                            "    Say(\"open\")")
                     (format "main.vs after formatting: %S" (buffer-string)))
    (save-buffer)
    ;; Lines typed with newline-and-indent take the formatter's indentation: a statement
    ;; after a label and after a statement, a label back at the left edge.
    (find-file other)
    (vorn-test-check (and (eq indent-line-function #'vorn-indent-line) (not indent-tabs-mode))
                     "indentation settings of other.vs")
    (goto-char (point-min))
    (forward-line 2)
    (end-of-line)
    (dolist (typed '("Say(\"x\")" "Wait(1)" "OnStart:"))
      (newline-and-indent)
      (insert typed)
      (indent-according-to-mode))
    (newline-and-indent)
    (insert "Stop()")
    (vorn-test-check (equal (buffer-substring-no-properties (point-min) (point-max))
                            (concat "defvar Spare 2\ninclude lib\\/doors.vs\nOnTouch:\n    Say(\"x\")\n"
                                    "    Wait(1)\nOnStart:\n    Stop()\n    Stop()\n"))
                     (format "other.vs as typed: %S" (buffer-string)))
    (save-buffer)
    (let ((status (call-process (getenv "VORN_FMT") nil "*vorn-fmt*" nil "--check" main other)))
      (vorn-test-check (eq status 0)
                       (format "vorn-fmt --check: %s %s" status
                               (with-current-buffer "*vorn-fmt*" (buffer-string)))))

    (find-file (expand-file-name "events.lst" root))
    (vorn-test-check (eq major-mode 'vorn-list-mode) (format "mode of events.lst: %s" major-mode))
    (ignore-errors (eglot-shutdown-all))))

(let ((status 0))
  (condition-case err
      (vorn-test-run (getenv "VORN_TEST_ROOT"))
    (error (push (format "error: %S" err) vorn-test-failures)))
  (when vorn-test-failures
    (dolist (failure (reverse vorn-test-failures))
      (princ (concat failure "\n") #'external-debugging-output))
    (setq status 1))
  (kill-emacs status))

;;; emacs_test.el ends here
