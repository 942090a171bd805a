;;; vorn-mode.el --- Major modes for VORN event scripts and their lists  -*- lexical-binding: t; -*-

;; Copyright (C) 2026 the VORN developers
;; SPDX-License-Identifier: MIT
;; Version: 0.1.0
;; Keywords: languages

;;; Commentary:

;; `vorn-mode' for event scripts (.vs) and `vorn-list-mode' for their lists (events.lst
;; and command.lst): comments, highlighting, and the vorn-lsp language server for eglot.
;;
;;   (require 'vorn-mode)
;;   (add-hook 'vorn-mode-hook #'eglot-ensure)      ; start vorn-lsp on every script
;;
;; If vorn-lsp is not on `exec-path', set `vorn-lsp-program'.

;;; Code:

(require 'cl-lib)
(require 'project)

(defgroup vorn nil
  "VORN event scripts."
  :group 'languages
  :prefix "vorn-")

(defcustom vorn-lsp-program "vorn-lsp"
  "The vorn-lsp program that eglot starts: a name on `exec-path' or a full path."
  :type 'string
  :group 'vorn)

(defcustom vorn-warnings nil
  "The warnings vorn-lsp looks for.
Each is spelt as a -W option of vorn-check without the -W, for example
\"all\" or \"no-long-line\".  Sent as the server's initializationOptions."
  :type '(repeat string)
  :group 'vorn)

(defconst vorn-indent-offset 4
  "A statement's indentation: four blanks, as vorn-fmt writes it.")

(defconst vorn--conditions
  '("Equal" "NotEqual" "LessThan" "NotLessThan" "GreaterThan" "NotGreaterThan"
    "LessThanOrEqual" "GreaterThanOrEqual")
  "The condition keywords of a statement's arguments.")

(defvar vorn-mode-syntax-table
  (let ((table (make-syntax-table)))
    ;; Outside strings ';' and '/' start a comment that runs to the end of the line, and a
    ;; backslash makes the next character ordinary.
    (modify-syntax-entry ?\; "<" table)
    (modify-syntax-entry ?/ "<" table)
    (modify-syntax-entry ?\n ">" table)
    (modify-syntax-entry ?\" "\"" table)
    (modify-syntax-entry ?\\ "\\" table)
    (modify-syntax-entry ?& "'" table)
    (modify-syntax-entry ?_ "_" table)
    table)
  "Syntax table of `vorn-mode'.")

(defvar vorn-font-lock-keywords
  `(;; defvar and defnum with the name they define; include with the file it names.
    ("^\\(def\\(?:var\\|num\\)\\)\\_>[ \t]*\\([^ \t;/\n]*\\)"
     (1 font-lock-preprocessor-face) (2 font-lock-variable-name-face))
    ("^\\(include\\)\\_>[ \t]*\\(\\(?:[^ \t;/\\\n]\\|\\\\.\\)*\\)"
     (1 font-lock-keyword-face) (2 font-lock-string-face))
    ;; A first word that ends in ':' is an event label; a line that starts with a number,
    ;; a place label.
    ("^\\([^ \t;/0-9\"\\\n][^ \t;/\"\n]*\\):" (1 font-lock-function-name-face))
    ("^[0-9]+" . font-lock-constant-face)
    ;; A line that starts with white space is a statement: its first word is the command.
    ("^[ \t]+\\([^ \t(;/\"\\\n]+\\)" (1 font-lock-builtin-face))
    (,(regexp-opt vorn--conditions 'symbols) . font-lock-constant-face)
    ("\\_<\\(?:Self\\|Time\\)\\_>" . font-lock-variable-name-face)
    ("&[ \t]*[0-9]+" . font-lock-variable-name-face))
  "Highlighting of `vorn-mode'.")

;;;###autoload
(define-derived-mode vorn-mode prog-mode "VORN"
  "Major mode for VORN event scripts."
  :syntax-table vorn-mode-syntax-table
  (setq-local comment-start "; ")
  (setq-local comment-start-skip "[;/]+[ \t]*")
  (setq-local comment-end "")
  (setq-local font-lock-defaults '(vorn-font-lock-keywords))
  (setq-local indent-tabs-mode nil)
  (setq-local tab-width 8)
  (setq-local indent-line-function #'vorn-indent-line)
  (setq-local electric-indent-chars (cons ?: electric-indent-chars)))

;; A line that starts with a blank is a statement; labels, places and directives start at the
;; left edge. A new line after a label, a place or a statement is a statement.
(defconst vorn--left-edge-re
  "[ \t]*\\(?:[^ \t;/(\"\\\\\n]+:\\(?:[ \t;/]\\|$\\)\\|[0-9]\\|\\(?:defvar\\|defnum\\|include\\)\\_>\\)"
  "What starts a line that stands at the left edge.")

(defun vorn--indentation ()
  "The indentation vorn-fmt gives the current line, or nil to leave it."
  (save-excursion
    (beginning-of-line)
    (cond ((looking-at "[ \t]*[;/]") nil)
          ((looking-at vorn--left-edge-re) 0)
          ((looking-at "[ \t]+[^ \t\n]") vorn-indent-offset)
          (t (let ((above nil))
               (while (and (not above) (zerop (forward-line -1)))
                 (unless (looking-at "[ \t]*\\(?:[;/]\\|$\\)")
                   (setq above (point))))
               (cond ((not above) 0)
                     ((looking-at "[ \t]*\\(?:defvar\\|defnum\\|include\\)\\_>") 0)
                     (t vorn-indent-offset)))))))

(defun vorn-indent-line ()
  "Indents the current line as vorn-fmt does."
  (let ((column (vorn--indentation)))
    (when column
      (if (<= (current-column) (current-indentation))
          (indent-line-to column)
        (save-excursion (indent-line-to column))))))

(defvar vorn-list-font-lock-keywords
  '(;; A line that starts with a letter is an entry: a name and its numbers.
    ("^[A-Za-z][^ \t\n]*" (0 font-lock-function-name-face)
     ("\\_<[-+]?[0-9]+\\_>" nil nil (0 font-lock-constant-face)))
    ;; Every other line is ignored.
    ("^[^A-Za-z\n].*$" . font-lock-comment-face))
  "Highlighting of `vorn-list-mode'.")

;;;###autoload
(define-derived-mode vorn-list-mode prog-mode "VORN-list"
  "Major mode for the lists of a VORN project, events.lst and command.lst."
  (setq-local font-lock-defaults '(vorn-list-font-lock-keywords t)))

;;;###autoload
(add-to-list 'auto-mode-alist '("\\.vs\\'" . vorn-mode))
;;;###autoload
(add-to-list 'auto-mode-alist '("/\\(?:events\\|command\\)\\.lst\\'" . vorn-list-mode))

;; vorn-lsp serves both: a script's errors, completion, hover and definitions, and the
;; lists that the scripts of a project are checked against.
;; A project folder is the nearest folder that holds both lists. project.el asks this last,
;; so a version-controlled tree keeps its own root; outside one, eglot still starts
;; vorn-lsp at the project folder rather than at the folder of the file.
(defun vorn-project-find (dir)
  "The VORN project folder of DIR, as project.el wants it, or nil."
  (let ((root (locate-dominating-file
               dir (lambda (folder)
                     (and (file-exists-p (expand-file-name "events.lst" folder))
                          (file-exists-p (expand-file-name "command.lst" folder)))))))
    (and root (cons 'vorn (file-name-as-directory (expand-file-name root))))))

(cl-defmethod project-root ((project (head vorn)))
  (cdr project))

;;;###autoload
(with-eval-after-load 'project
  (add-hook 'project-find-functions #'vorn-project-find 'append))

(defvar eglot-server-programs)
;;;###autoload
(with-eval-after-load 'eglot
  (add-to-list 'eglot-server-programs
               `((vorn-mode vorn-list-mode)
                 . ,(lambda (&rest _)
                      (list vorn-lsp-program
                            :initializationOptions
                            (list :vorn (list :warnings (vconcat vorn-warnings))))))))

;; A project may also set its warnings in .dir-locals.el, which eglot sends as the server's
;; workspace configuration:
;;   ((vorn-mode . ((eglot-workspace-configuration . (:vorn (:warnings ["all"]))))))

(provide 'vorn-mode)

;;; vorn-mode.el ends here
