/* Orvex list page: the shared text's copy button. The asynchronous clipboard API exists only on
   secure pages (HTTPS, localhost); on the plain-HTTP page of a local address the text is put into
   a hidden text box, selected and copied with execCommand("copy") instead. The text copied is
   the one shared, from a JSON block, not the neutralised one shown. */
(function () {
    "use strict";

    var text = JSON.parse(document.getElementById("shared-text-source").textContent);
    var T = JSON.parse(document.getElementById("texts").textContent);
    var button = document.getElementById("copy-text");
    var state = document.getElementById("copy-state");

    function copyBySelection() {
        var box = document.createElement("textarea");
        box.value = text;
        box.setAttribute("readonly", "");
        box.style.position = "fixed";
        box.style.top = "0";
        box.style.left = "0";
        box.style.opacity = "0";
        document.body.appendChild(box);
        box.focus();
        box.select();
        box.setSelectionRange(0, text.length);
        var copied = false;
        try {
            copied = document.execCommand("copy");
        } catch (e) {
            copied = false;
        }
        document.body.removeChild(box);
        return copied;
    }

    function show(ok) {
        state.textContent = ok ? T.copied : T.failed;
        state.className = "copy-state " + (ok ? "ok" : "error");
    }

    button.addEventListener("click", function () {
        if (navigator.clipboard && window.isSecureContext) {
            navigator.clipboard.writeText(text).then(function () {
                show(true);
            }, function () {
                show(copyBySelection());
            });
            return;
        }
        show(copyBySelection());
    });
})();
