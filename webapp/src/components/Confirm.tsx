// Destructive actions ask first: a modal dialog that answers true (go ahead) or false.
import { useEffect, useRef, useState } from 'preact/hooks';

import { t } from '../lib/i18n';

interface Question { message: string; confirmLabel: string; resolve: (yes: boolean) => void }

let ask: ((q: Question) => void) | undefined;

export function confirmAction(message: string, confirmLabel: string): Promise<boolean> {
  return new Promise((resolve) => {
    if (!ask) resolve(false);
    else ask({ message, confirmLabel, resolve });
  });
}

export function ConfirmHost() {
  const [question, setQuestion] = useState<Question>();
  const dialog = useRef<HTMLDialogElement>(null);
  useEffect(() => {
    ask = setQuestion;
    return () => { ask = undefined; };
  }, []);
  useEffect(() => {
    if (question && dialog.current && !dialog.current.open) dialog.current.showModal();
  }, [question]);
  const answer = (yes: boolean) => {
    dialog.current?.close();
    question?.resolve(yes);
    setQuestion(undefined);
  };
  return (
    <dialog ref={dialog} class="confirm" aria-labelledby="confirm-text"
            onCancel={(e) => { e.preventDefault(); answer(false); }}>
      {question && (
        <form method="dialog" onSubmit={(e) => { e.preventDefault(); answer(true); }}>
          <p id="confirm-text">{question.message}</p>
          <div class="buttons">
            <button type="button" onClick={() => answer(false)} autoFocus>{t('action.cancel')}</button>
            <button type="submit" class="danger">{question.confirmLabel}</button>
          </div>
        </form>
      )}
    </dialog>
  );
}
